// Decodes the data of the entries of one archive and checks it. Stored files are copied;
// compressed ones go through the unpacker of their version. A solid stream is kept going
// from entry to entry; an entry whose stream is behind is reached by decoding the entries
// in between (those the user did not select), and one whose stream is past it or broken
// by decoding the stream again from its first entry. A file that is a stream of its own can
// also be decoded by a MemberDecoder of its own, on another thread; DecoderBudget keeps the
// memory of all of them together within our limit.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_DECODER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_MEMBER_DECODER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "engine/entry_source.h"
#include "engine/rar/rar_archive.h"
#include "engine/rar/rar_member_input.h"
#include "engine/rar/unpacker.h"

namespace engine::rar {

// The most that decoding item `index` may allocate when nothing before it has to be decoded
// (a stored file, or the first file of a stream): the window as its unpacker rounds it, the
// filters' buffers, the input buffer and code tables. kMaxDecoderMemory for a RAR 2.9-4.x
// file: its data may ask for a PPMd model of up to our whole limit at any block.
uint64_t DecoderMemory(const RarArchive& archive, size_t index);

// The memory the decoders of one archive may hold at once: the reader's own decoder and those
// of files decoded on other threads. Requests are granted in the order they were made, so an
// earlier file never waits for a later one; the writer finishes files in that order too, so a
// file it waits for always gets its memory once those before it are done.
class DecoderBudget {
 public:
  explicit DecoderBudget(uint64_t capacity) : capacity_(capacity) {}
  DecoderBudget(const DecoderBudget&) = delete;
  DecoderBudget& operator=(const DecoderBudget&) = delete;

  // What the reader's own decoder holds. Counted, never waited for: the reader's thread is
  // the one that waits for the others.
  void SetOwn(uint64_t bytes);
  // Whether a request of `bytes` fits beside the reader's own decoder.
  bool Fits(uint64_t bytes) const;
  // Queues a request (granted at once where it fits and nothing is waiting before it).
  uint64_t Request(uint64_t bytes);
  // Blocks until the request `ticket` is granted.
  void Wait(uint64_t ticket);
  // Gives the memory of `ticket` back, or withdraws it if not granted yet.
  void Return(uint64_t ticket);

 private:
  struct Ask {
    uint64_t ticket;
    uint64_t bytes;
  };
  void GrantInOrder();  // with mutex_ held

  const uint64_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable granted_cv_;
  std::deque<Ask> waiting_;
  std::unordered_map<uint64_t, uint64_t> granted_;  // ticket -> bytes
  uint64_t own_ = 0;
  uint64_t held_ = 0;  // granted in all
  uint64_t next_ticket_ = 0;
};

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

  // Frees the unpacker and whatever the last item left; the next Start begins afresh.
  void Release();
  // The first item of the stream the unpacker holds, kNoItem when it holds none.
  size_t stream() const { return unpacker_ ? unpacker_head_ : kNoItem; }
  // What the unpacker may take, as DecoderMemory counts it; 0 without one.
  uint64_t memory() const;

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
  uint8_t* Scratch();

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
