#include "engine/rar/rar_member_decoder.h"

#include <algorithm>
#include <string>

#include "engine/rar/rar15_unpacker.h"
#include "engine/rar/rar20_unpacker.h"
#include "engine/rar/rar3_unpacker.h"
#include "engine/rar/rar5_filters.h"
#include "engine/rar/rar5_unpacker.h"

namespace engine::rar {
namespace {

constexpr size_t kScratchSize = size_t{1} << 18;
// Besides the window: the input buffer, code tables, checksum state and the session.
constexpr uint64_t kDecoderOverhead = uint64_t{256} << 10;
// What the RAR 1.5 and 2.0 unpackers allocate: a fixed 64 KiB window, and a power of two from
// 64 KiB up to the 1 MiB that 2.0's distances reach.
constexpr uint64_t kRar15Window = uint64_t{1} << 16;
constexpr uint64_t kRar20SmallestWindow = uint64_t{1} << 16;
constexpr uint64_t kRar20LargestWindow = uint64_t{1} << 20;

// Which unpacker a compression version needs; 0 for none of ours.
int Family(int version) {
  switch (version) {
    case 13:
    case 15:
      return 15;
    case 20:
    case 26:
      return 20;
    case 29:
    case 36:
      return 29;
    case 50:
      return 50;
    case 70:
      return 70;
    default:
      return 0;
  }
}

ResultCode CodeOf(UnpackStatus status) {
  switch (status) {
    case UnpackStatus::kOutOfMemory:
      return ResultCode::kOutOfMemory;
    case UnpackStatus::kUnsupported:
      return ResultCode::kUnsupportedMethod;
    default:
      return ResultCode::kDamaged;
  }
}

}  // namespace

uint64_t DecoderMemory(const RarArchive& archive, size_t index) {
  const RarItem& item = archive.items[index];
  if (!item.compressed) return kDecoderOverhead;
  const RarItem& head = archive.items[item.stream_head];
  const uint64_t window = head.window_bytes;
  // A window beyond our limit is refused before anything is allocated.
  if (window > kMaxWindowBytes) return kDecoderOverhead;
  switch (Family(head.header.version)) {
    case 15:
      return kDecoderOverhead + kRar15Window;
    case 20: {
      uint64_t bytes = kRar20SmallestWindow;
      while (bytes < window && bytes < kRar20LargestWindow) bytes <<= 1;
      return kDecoderOverhead + bytes;
    }
    case 29:
      return kMaxDecoderMemory;
    case 50:
    case 70:
      // A filtered block is copied out of the window, and the delta filter's output is a
      // second copy; neither is longer than the window.
      return kDecoderOverhead + window + 2 * std::min<uint64_t>(window, kRar5MaxFilterBytes);
    default:
      return kDecoderOverhead;  // refused as unsupported before anything is allocated
  }
}

void DecoderBudget::SetOwn(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  own_ = bytes;
  GrantInOrder();
}

bool DecoderBudget::Fits(uint64_t bytes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return own_ <= capacity_ && bytes <= capacity_ - own_;
}

uint64_t DecoderBudget::Request(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t ticket = next_ticket_++;
  waiting_.push_back({ticket, bytes});
  GrantInOrder();
  return ticket;
}

void DecoderBudget::Wait(uint64_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  granted_cv_.wait(lock, [this, ticket] { return granted_.count(ticket) != 0; });
}

void DecoderBudget::Return(uint64_t ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = granted_.find(ticket);
  if (it != granted_.end()) {
    held_ -= it->second;
    granted_.erase(it);
  } else {
    for (auto ask = waiting_.begin(); ask != waiting_.end(); ++ask) {
      if (ask->ticket == ticket) {
        waiting_.erase(ask);
        break;
      }
    }
  }
  GrantInOrder();
}

void DecoderBudget::GrantInOrder() {
  bool any = false;
  while (!waiting_.empty()) {
    const Ask& ask = waiting_.front();
    // With nothing granted the first request goes ahead whatever it asks: otherwise a reader
    // whose own decoder grew after the request was made could leave it waiting for ever.
    if (held_ > 0 && (own_ + held_ > capacity_ || ask.bytes > capacity_ - own_ - held_)) break;
    held_ += ask.bytes;
    granted_[ask.ticket] = ask.bytes;
    waiting_.pop_front();
    any = true;
  }
  if (any) granted_cv_.notify_all();
}

struct MemberDecoder::Session {
  size_t index = kNoItem;
  bool compressed = false;
  bool done = false;
  Status result;
  std::unique_ptr<MemberInput> input;
  std::unique_ptr<Checksum> checksum;
  MacKey mac_key;
  uint64_t size = 0;
  bool size_known = true;
  uint64_t produced = 0;
};

MemberDecoder::MemberDecoder(const RarArchive& archive, KeySource keys)
    : archive_(archive), keys_(std::move(keys)) {}

MemberDecoder::~MemberDecoder() = default;

void MemberDecoder::Release() {
  current_.reset();
  unpacker_.reset();
  unpacker_family_ = 0;
  unpacker_window_ = 0;
  unpacker_head_ = unpacker_last_ = kNoItem;
  unpacker_ok_ = false;
  scratch_.reset();
}

uint64_t MemberDecoder::memory() const {
  return unpacker_ ? DecoderMemory(archive_, unpacker_head_) : 0;
}

uint8_t* MemberDecoder::Scratch() {
  // Only what is decoded and thrown away passes through here, never a file read alone.
  if (!scratch_) scratch_.reset(new uint8_t[kScratchSize]);
  return scratch_.get();
}

Status MemberDecoder::Start(size_t index) {
  if (current_ && !current_->done && current_->compressed) {
    const RarItem& next = archive_.items[index];
    const size_t stream = archive_.items[current_->index].stream_head;
    if (next.compressed && next.stream_head == stream && current_->index < index) {
      Finish();  // the stream goes through this file: decode the rest of it first
    } else {
      unpacker_ok_ = false;  // left in the middle of a file
    }
  }
  current_ = std::make_unique<Session>();
  const Status status = Open(index, current_.get());
  if (!status.ok()) {
    current_->done = true;
    current_->result = status;
  }
  return status;
}

Status MemberDecoder::Read(uint8_t* buf, size_t size, size_t* got) {
  *got = 0;
  if (!current_) return Status::Entry(ResultCode::kDamaged, "no entry started");
  return ReadSession(current_.get(), buf, size, got);
}

Status MemberDecoder::Finish() {
  if (!current_) return Status::Ok();
  for (;;) {
    size_t got = 0;
    const Status status = ReadSession(current_.get(), Scratch(), kScratchSize, &got);
    if (!status.ok() || got == 0) return status;
  }
}

Status MemberDecoder::Open(size_t index, Session* s) {
  const RarItem& item = archive_.items[index];
  const FileBlock& h = item.header;
  s->index = index;
  s->compressed = item.compressed;
  if (item.data == ItemData::kNone) {
    s->done = true;  // nothing to read
    return Status::Ok();
  }
  if (item.data_fault == ResultCode::kMissingVolume) {
    return Status::Entry(item.data_fault, "its data goes on in a volume that is missing");
  }
  if (item.data_fault != ResultCode::kOk) {
    return Status::Entry(item.data_fault, "its data is cut short or its header is damaged");
  }
  ItemKey key;
  switch (h.crypt.method) {
    case Crypt::kNone:
      break;
    case Crypt::kRar30:
    case Crypt::kRar50: {
      const Status status = keys_(item, &key);
      if (!status.ok()) return status;
      break;
    }
    case Crypt::kUnknown:
      return Status::Entry(ResultCode::kUnsupportedMethod, "unknown encryption");
    default:
      return Status::Entry(ResultCode::kEncrypted, "encrypted the RAR 1.x/2.0 way, not read");
  }
  if (h.size_unknown && archive_.format != RarFormat::kRar5) {
    return Status::Entry(ResultCode::kUnsupportedMethod, "the file's size is not stored");
  }
  s->size = h.unpacked_size;
  s->size_known = !h.size_unknown;
  if (h.size_unknown && !item.compressed) {
    // Stored from a pipe: the file is all of its data.
    s->size = 0;
    for (const DataPiece& piece : item.pieces) s->size += piece.size;
    s->size_known = true;
  }
  s->input = std::make_unique<MemberInput>(archive_, item, key);
  s->checksum = std::make_unique<Checksum>(h.hash.type);
  if (h.crypt.method == Crypt::kRar50 && h.crypt.hash_mac && key.rar5 != nullptr) {
    s->mac_key.key = key.rar5->hash_key;
    s->mac_key.set = true;
  }
  if (!item.compressed) return Status::Ok();
  if (Family(h.version) == 0 || h.method > 5) {
    return Status::Entry(
        ResultCode::kUnsupportedMethod,
        "compression version " + std::to_string(h.version) + " method " + std::to_string(h.method));
  }
  const Status position = Position(index);
  if (!position.ok()) return position;
  unpacker_->StartFile(s->input.get(), s->size_known ? s->size : kRar5UnknownSize,
                       item.stream_previous != kNoItem);
  return Status::Ok();
}

void MemberDecoder::MakeUnpacker(size_t head) {
  const RarItem& item = archive_.items[head];
  const int family = Family(item.header.version);
  unpacker_head_ = head;
  unpacker_last_ = kNoItem;
  unpacker_ok_ = true;
  // A new stream may reuse the unpacker of the last one: starting a file as not solid
  // resets it, and its window is kept instead of allocated again.
  if (unpacker_ && unpacker_family_ == family && unpacker_window_ == item.window_bytes) return;
  unpacker_.reset();
  unpacker_family_ = family;
  unpacker_window_ = item.window_bytes;
  switch (family) {
    case 15:
      unpacker_ = MakeRar15Unpacker(item.window_bytes);
      break;
    case 20:
      unpacker_ = MakeRar20Unpacker(item.window_bytes);
      break;
    case 29:
      unpacker_ = MakeRar3Unpacker(item.window_bytes);
      break;
    default:
      unpacker_ = MakeRar5Unpacker(item.window_bytes, family == 70);
      break;
  }
}

Status MemberDecoder::Position(size_t index) {
  const RarItem& item = archive_.items[index];
  const size_t head = item.stream_head;
  const RarItem& first = archive_.items[head];
  // Refused before anything is allocated: the stream really needs this much.
  if (first.window_bytes > kMaxWindowBytes) {
    return Status::Entry(ResultCode::kOutOfMemory,
                         "needs a window of " + std::to_string(first.window_bytes >> 20) + " MiB");
  }
  if (Family(item.header.version) != Family(first.header.version)) {
    return Status::Entry(ResultCode::kDamaged, "its solid stream changes the method");
  }
  if (item.stream_previous == kNoItem) {
    MakeUnpacker(index);
    return Status::Ok();
  }
  const bool usable = unpacker_ && unpacker_head_ == head && unpacker_ok_ &&
                      unpacker_last_ != kNoItem && unpacker_last_ <= item.stream_previous;
  size_t from = usable ? unpacker_last_ + 1 : head;
  if (!usable) {
    unpacker_.reset();  // never two windows at once
    MakeUnpacker(head);
  }
  for (size_t j = from; j < index; ++j) {
    const RarItem& between = archive_.items[j];
    if (!between.compressed || between.stream_head != head) continue;
    const Status status = DecodeWhole(j);
    if (!status.ok()) {
      unpacker_ok_ = false;
      return Status::Entry(status.code,
                           "an earlier file of its solid stream failed: " + status.message);
    }
  }
  return Status::Ok();
}

Status MemberDecoder::DecodeWhole(size_t index) {
  Session session;
  Status status = Open(index, &session);
  if (!status.ok()) return status;
  for (;;) {
    size_t got = 0;
    status = ReadSession(&session, Scratch(), kScratchSize, &got);
    if (!status.ok() || got == 0) return status;
  }
}

Status MemberDecoder::ReadSession(Session* s, uint8_t* buf, size_t size, size_t* got) {
  *got = 0;
  if (s->done) return s->result;
  size_t n = 0;
  if (!s->compressed) {
    const uint64_t left = s->size - s->produced;
    n = s->input->Read(buf, static_cast<size_t>(std::min<uint64_t>(size, left)));
    if (n == 0 && left > 0) {
      const ResultCode fault = s->input->fault();
      return Fail(s, Status::Entry(fault == ResultCode::kOk ? ResultCode::kDamaged : fault,
                                   "the data ends before the file does"));
    }
  } else {
    n = unpacker_->Read(buf, size);
    if (n == 0) {
      if (unpacker_->status() != UnpackStatus::kOk) {
        const ResultCode fault = s->input->fault();
        return Fail(s, Status::Entry(fault != ResultCode::kOk ? fault : CodeOf(unpacker_->status()),
                                     "the compressed data is damaged"));
      }
      if (s->size_known && s->produced != s->size) {
        return Fail(s, Status::Entry(ResultCode::kDamaged, "the data ends before the file does"));
      }
      return Complete(s);
    }
  }
  s->checksum->Update(buf, n);
  s->produced += n;
  *got = n;
  if (!s->compressed && s->produced == s->size) {
    const Status status = Complete(s);
    if (!status.ok()) {
      *got = 0;
      return status;
    }
  }
  return Status::Ok();
}

Status MemberDecoder::Complete(Session* s) {
  s->done = true;
  if (s->compressed) unpacker_last_ = s->index;
  const FileBlock& h = archive_.items[s->index].header;
  if (!s->checksum->Matches(h.hash, s->mac_key.get())) {
    s->result = Status::Entry(ResultCode::kDamaged, "checksum error");
  } else {
    s->result = Status::Ok();
  }
  return s->result;
}

Status MemberDecoder::Fail(Session* s, Status status) {
  s->done = true;
  s->result = std::move(status);
  if (s->compressed) unpacker_ok_ = false;
  return s->result;
}

}  // namespace engine::rar
