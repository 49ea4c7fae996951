// BLAKE2sp, the 32-byte file hash RAR5 stores in place of CRC-32 when the archiver was
// asked for it. Fed in pieces as the data is unpacked.
#ifndef DIZOR_LIBS_ENGINE_RAR_BLAKE2SP_HASH_H_
#define DIZOR_LIBS_ENGINE_RAR_BLAKE2SP_HASH_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace engine::rar {

class Blake2spHash {
 public:
  static constexpr size_t kDigestBytes = 32;
  using Digest = std::array<uint8_t, kDigestBytes>;

  Blake2spHash();
  ~Blake2spHash();
  Blake2spHash(const Blake2spHash&) = delete;
  Blake2spHash& operator=(const Blake2spHash&) = delete;

  void Update(const void* data, size_t size);

  // The hash of everything passed to Update since construction or the last Final; the
  // hasher then starts over, ready for the next file.
  Digest Final();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_BLAKE2SP_HASH_H_
