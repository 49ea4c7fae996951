#include "engine/rar/blake2sp_hash.h"

#include <blake2.h>

#include <algorithm>
#include <cstring>

namespace engine::rar {
namespace {

// libb2 runs each update as an OpenMP region over the eight leaves, which costs tens of
// microseconds whatever the size; small pieces are gathered so that it sees large ones.
constexpr size_t kBatchBytes = size_t{256} << 10;

}  // namespace

// libb2's state is a C struct from its header, kept out of ours.
struct Blake2spHash::State {
  blake2sp_state s;
  uint8_t batch[kBatchBytes];
  size_t batched = 0;

  void Flush() {
    if (batched > 0) blake2sp_update(&s, batch, batched);
    batched = 0;
  }
};

Blake2spHash::Blake2spHash() : state_(std::make_unique<State>()) {
  blake2sp_init(&state_->s, kDigestBytes);
}

Blake2spHash::~Blake2spHash() = default;

void Blake2spHash::Update(const void* data, size_t size) {
  State& st = *state_;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (st.batched == 0 && size >= kBatchBytes) {
      blake2sp_update(&st.s, in, size);
      return;
    }
    const size_t n = std::min(size, kBatchBytes - st.batched);
    std::memcpy(st.batch + st.batched, in, n);
    st.batched += n;
    in += n;
    size -= n;
    if (st.batched == kBatchBytes) st.Flush();
  }
}

Blake2spHash::Digest Blake2spHash::Final() {
  state_->Flush();
  Digest digest{};
  blake2sp_final(&state_->s, digest.data(), digest.size());
  blake2sp_init(&state_->s, kDigestBytes);
  return digest;
}

}  // namespace engine::rar
