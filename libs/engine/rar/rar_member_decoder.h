// Decodes the data of the entries of one archive and checks it. Stored files are copied;
// compressed ones go through the unpacker of their version. A solid stream is kept going
// from entry to entry; an entry whose stream is behind is reached by decoding the entries
// in between (those the user did not select), and one whose stream is past it or broken
// by decoding the stream again from its first entry.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_DECODER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/entry_source.h"
#include "engine/rar/rar_archive.h"
#include "engine/rar/rar_member_input.h"
#include "engine/rar/unpacker.h"

namespace engine::rar {

class MemberDecoder {
 public:
  // Gives the keys of an encrypted entry; not ok (kEncrypted) when there is no password.
  using KeySource = std::function<Status(const RarItem& item, ItemKey* key)>;

  MemberDecoder(const RarArchive& archive, KeySource keys);
  ~MemberDecoder();
  MemberDecoder(const MemberDecoder&) = delete;
  MemberDecoder& operator=(const MemberDecoder&) = delete;

  // Prepares to read the data of item `index`. Not ok: the entry cannot be read, and the
  // code says why (kEncrypted without a password, kOutOfMemory for a window beyond our
  // limit, kUnsupportedMethod, kMissingVolume, kDamaged).
  Status Start(size_t index);
  // Up to `size` bytes of the item; *got == 0 with an ok status is its end, checksum
  // verified.
  Status Read(uint8_t* buf, size_t size, size_t* got);
  // Decodes the rest of the item without handing it out; its checksum is verified.
  Status Finish();

 private:
  struct Session;

  Status Open(size_t index, Session* session);
  Status ReadSession(Session* session, uint8_t* buf, size_t size, size_t* got);
  Status Complete(Session* session);
  Status Fail(Session* session, Status status);
  // Leaves unpacker_ ready for item `index`: a new stream, or its stream standing right
  // after the item it continues.
  Status Position(size_t index);
  Status DecodeWhole(size_t index);
  void MakeUnpacker(size_t head);

  const RarArchive& archive_;
  KeySource keys_;
  std::unique_ptr<Unpacker> unpacker_;
  int unpacker_family_ = 0;
  uint64_t unpacker_window_ = 0;
  size_t unpacker_head_ = kNoItem;  // the stream the unpacker decodes
  size_t unpacker_last_ = kNoItem;  // the last item decoded to its end on it
  bool unpacker_ok_ = false;        // its state is exactly that after unpacker_last_
  std::unique_ptr<Session> current_;
  std::unique_ptr<uint8_t[]> scratch_;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_DECODER_H_
