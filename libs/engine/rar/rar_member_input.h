// The packed bytes of one entry as an unpacker (or the copy of a stored file) takes them:
// read piece by piece from the volumes the data is split over, decrypted when the entry
// is encrypted, and each piece that goes on in a further volume checked against the
// checksum of its packed bytes.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_INPUT_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_INPUT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/rar/rar_archive.h"
#include "engine/rar/rar_checksum.h"
#include "engine/rar/rar_crypto.h"
#include "engine/rar/unpacker.h"

namespace engine::rar {

// The keys of an encrypted entry, owned by the PasswordKeeper.
struct ItemKey {
  const Rar3Key* rar3 = nullptr;
  const Rar5Key* rar5 = nullptr;
};

class MemberInput : public PackedInput {
 public:
  MemberInput(const RarArchive& archive, const RarItem& item, const ItemKey& key);
  MemberInput(const MemberInput&) = delete;
  MemberInput& operator=(const MemberInput&) = delete;

  size_t Read(uint8_t* buf, size_t size) override;

  // Why the input ended early: kOk, kDamaged (cut short, a packed checksum is wrong) or
  // kMissingVolume (a volume can no longer be read).
  ResultCode fault() const { return fault_; }

 private:
  void Refill();

  const RarArchive& archive_;
  const RarItem& item_;
  MacKey mac_key_;
  bool decrypt_ = false;
  CbcDecryptor cipher_;
  size_t piece_ = 0;
  uint64_t piece_pos_ = 0;
  std::unique_ptr<Checksum> piece_sum_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t begin_ = 0;  // next byte to hand out
  size_t ready_ = 0;  // end of the bytes that may be handed out (decrypted)
  size_t end_ = 0;    // end of the bytes read
  ResultCode fault_ = ResultCode::kOk;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_INPUT_H_
