// The members of an LHA archive (CMake: liblhasa for the rare methods).
//
// The member headers are read by lha_header.cpp; which decoder takes a member's data is the
// table in lha_methods.cpp. Every decoder's output is counted and its CRC-16 compared with
// the header's at the end of each member: a member that fails either is kDamaged, never a
// success.
#include "engine/lha/lha_source.h"

#include <lha_decoder.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/lha/lh2_decoder.h"
#include "engine/lha/lh3_decoder.h"
#include "engine/lha/lh_decoder.h"
#include "engine/lha/lha_code_page.h"
#include "engine/lha/lha_header.h"
#include "engine/lha/lha_input.h"
#include "engine/lha/lha_locate.h"
#include "engine/lha/lha_methods.h"
#include "engine/stream_decoder.h"

namespace engine {
namespace {

using lha::MemberHeader;
using lha::MethodEngine;
using lha::ParseResult;

// True when the `size` bytes at the end of the file can be the start of a member header
// cut off by the end of the file, as opposed to padding or junk after the last member:
// every byte there is where a header has its method id ("-lh5-" at offset 2) matches one.
// Transfer programs padded their last block with 0x1A, which never starts a header.
bool CouldBeCutHeader(const uint8_t* p, size_t size) {
  if (size == 0 || std::all_of(p, p + size, [](uint8_t c) { return c == 0x1A; })) return false;
  auto matches = [](size_t i, uint8_t c) {
    switch (i) {
      case 2:
      case 6:
        return c == '-';
      case 3:
        return c == 'l' || c == 'p';
      case 4:
        return c == 'h' || c == 'z' || c == 'm';
      case 5:
        return std::isalnum(c) != 0;
      default:
        return true;
    }
  };
  for (size_t i = 2; i < std::min<size_t>(size, 7); ++i) {
    if (!matches(i, p[i])) return false;
  }
  return true;
}

// LhDecoders for members decoded on other threads. Each holds about 250 KB of buffers; an
// archive of 20,000 small members would otherwise allocate and fault them in 20,000 times.
class DecoderShelf {
 public:
  std::unique_ptr<lha::LhDecoder> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return std::make_unique<lha::LhDecoder>();
    std::unique_ptr<lha::LhDecoder> decoder = std::move(free_.back());
    free_.pop_back();
    return decoder;
  }
  void Put(std::unique_ptr<lha::LhDecoder> decoder) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(decoder));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<lha::LhDecoder>> free_;
};

// Small members are copied out of the source's read-ahead window, which holds them anyway
// (the next header follows them); larger ones are read with pread by the worker itself.
constexpr uint64_t kCopiedMember = 64 * 1024;

// One member decoded by LhDecoder on a worker thread: its compressed bytes, its own decoder,
// and the header values its end is checked against. The file descriptor belongs to the
// source, which outlives every member it gave out.
class DetachedMember : public EntryData {
 public:
  DetachedMember(const MemberHeader& header, int fd, int64_t offset, std::string copied,
                 std::shared_ptr<DecoderShelf> shelf)
      : name_(header.name),
        method_(header.method),
        original_size_(header.original_size),
        crc_(header.crc),
        fd_(fd),
        offset_(offset),
        remaining_(header.compressed_size - copied.size()),
        copied_(std::move(copied)),
        shelf_(std::move(shelf)),
        decoder_(shelf_->Take()) {}
  ~DetachedMember() override { shelf_->Put(std::move(decoder_)); }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (done_ || size == 0) return status_;
    if (!started_) {
      started_ = true;
      decoder_->Start(lha::LhDecoder::DictionaryBits(method_), &DetachedMember::Input, this,
                      original_size_);
    }
    *got = decoder_->Read(static_cast<uint8_t*>(buf), size);
    if (*got > 0) return Status::Ok();
    done_ = true;
    if (read_error_ != 0) {
      status_ = Status::Fatal(ResultCode::kCannotOpen,
                              "read error in " + name_ + ": " + std::strerror(read_error_));
    } else if (decoder_->length() != original_size_ || decoder_->damaged()) {
      status_ = Status::Entry(ResultCode::kDamaged, name_ + ": data cut short or broken");
    } else if (decoder_->crc() != crc_) {
      status_ = Status::Entry(ResultCode::kDamaged, name_ + ": CRC error");
    }
    return status_;
  }

 private:
  static size_t Input(void* buf, size_t len, void* user) {
    auto* self = static_cast<DetachedMember*>(user);
    auto* out = static_cast<uint8_t*>(buf);
    size_t done = std::min(len, self->copied_.size() - self->copied_at_);
    std::memcpy(out, self->copied_.data() + self->copied_at_, done);
    self->copied_at_ += done;
    const auto want = static_cast<size_t>(std::min<uint64_t>(len - done, self->remaining_));
    size_t read = 0;
    while (read < want) {
      ssize_t got = ::pread(self->fd_, out + done + read, want - read, self->offset_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) self->read_error_ = errno;
      if (got <= 0) break;
      read += static_cast<size_t>(got);
      self->offset_ += got;
    }
    self->remaining_ -= read;
    return done + read;
  }

  std::string name_;
  std::string method_;
  uint64_t original_size_;
  uint16_t crc_;
  int fd_;
  int64_t offset_;      // of the next compressed byte not copied
  uint64_t remaining_;  // compressed bytes still to read from the file
  std::string copied_;
  size_t copied_at_ = 0;
  std::shared_ptr<DecoderShelf> shelf_;
  std::unique_ptr<lha::LhDecoder> decoder_;
  bool started_ = false;
  bool done_ = false;
  int read_error_ = 0;
  Status status_;
};

class LhasaSource : public EntrySource {
 public:
  ~LhasaSource() override { CloseDecoder(); }

  bool Open(const std::string& path, Status* status) {
    std::string error;
    if (!in_.Open(path, &error)) {
      *status = Status::Fatal(ResultCode::kCannotOpen, error);
      return false;
    }
    int64_t start = lha::FindFirstHeader(&in_);
    if (start < 0) {
      *status =
          Status::Fatal(in_.read_error() ? ResultCode::kCannotOpen : ResultCode::kNotThisFormat,
                        path + ": no LHA header");
      return false;
    }
    next_header_ = start;
    code_page_ = lha::ChooseArchiveCodePage(path, start);
    return true;
  }

  bool Next(Entry* entry, Status* status) override {
    *status = Status::Ok();
    CloseDecoder();
    if (finished_) return false;
    if (next_header_ > in_.size()) {
      return Fail(status, ResultCode::kDamaged, "archive ends inside the data of a member");
    }
    in_.Seek(next_header_);
    std::string error;
    size_t needed = 0;
    size_t have = in_.Fill(64);
    ParseResult result = have == 0
                             ? ParseResult::kEndOfArchive
                             : lha::ParseMemberHeader(in_.data(), have, &header_, &needed, &error);
    while (result == ParseResult::kNeedMore) {
      if (in_.Fill(needed) < needed) {
        if (in_.read_error()) return Fail(status, ResultCode::kCannotOpen, "read error");
        if (!CouldBeCutHeader(in_.data(), in_.buffered())) {
          finished_ = true;
          return false;
        }
        return Fail(status, ResultCode::kDamaged, "archive ends inside a member header");
      }
      result = lha::ParseMemberHeader(in_.data(), in_.buffered(), &header_, &needed, &error);
    }
    switch (result) {
      case ParseResult::kOk:
        break;
      case ParseResult::kEndOfArchive:
        finished_ = true;
        return false;
      case ParseResult::kNotAHeader:
        // Bytes that are no header at all after a member are trailing junk (some archivers
        // pad, some tools append); the archive ends there.
        finished_ = true;
        if (in_.read_error()) return Fail(status, ResultCode::kCannotOpen, "read error");
        return false;
      default:
        return Fail(status, ResultCode::kDamaged, error);
    }
    // A member whose data runs past the end of the file is still listed; reading it fails.
    if (header_.compressed_size > static_cast<uint64_t>(INT64_MAX - in_.size())) {
      return Fail(status, ResultCode::kDamaged, "member size out of range");
    }
    int64_t data_offset = next_header_ + static_cast<int64_t>(header_.header_size);
    next_header_ = data_offset + static_cast<int64_t>(header_.compressed_size);
    in_.Seek(data_offset);
    remaining_ = header_.compressed_size;
    entry_status_ = Status::Ok();
    data_done_ = header_.type != EntryType::kFile;

    *entry = Entry{};
    entry->name = header_.name;
    entry->name_encoding = header_.name_encoding;
    if (entry->name_encoding == NameEncoding::kNative) entry->code_page = code_page_;
    entry->type = header_.type;
    entry->link_target = header_.link_target;
    entry->size =
        header_.type == EntryType::kFile ? static_cast<int64_t>(header_.original_size) : 0;
    entry->mtime = header_.mtime;
    entry->mode = header_.has_unix_mode ? header_.unix_mode & 07777 : 0;
    return true;
  }

  // The members LhDecoder reads (nearly all) decode on their own; liblhasa's and our -lh2-
  // and -lh3- decoders stay on the source's thread.
  std::unique_ptr<EntryData> DetachData() override {
    if (!entry_status_.ok() || data_done_ || decoding_ ||
        lha::EngineForMethod(header_.method) != MethodEngine::kLhDecoder) {
      return nullptr;
    }
    std::string copied;
    if (remaining_ <= kCopiedMember) {
      const size_t have = in_.Fill(static_cast<size_t>(remaining_));
      copied.assign(reinterpret_cast<const char*>(in_.data()), have);
      // Fewer bytes than the member has: the file ends inside it, and the decoder says so.
    }
    data_done_ = true;
    return std::make_unique<DetachedMember>(header_, in_.fd(),
                                            in_.position() + static_cast<int64_t>(copied.size()),
                                            std::move(copied), shelf_);
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (!entry_status_.ok() || data_done_ || size == 0) return entry_status_;
    if (!decoding_ && !StartDecoder()) return entry_status_;
    auto* out = static_cast<uint8_t*>(buf);
    if (own_decoder_ != nullptr) {
      *got = own_decoder_->Read(out, size);
    } else if (stream_ != nullptr) {
      *got = stream_->Read(out, size);
      stream_crc_ = lha::Crc16(stream_crc_, out, *got);
      stream_length_ += *got;
    } else {
      *got = lha_decoder_read(decoder_, out, size);
    }
    if (*got > 0) return Status::Ok();
    data_done_ = true;
    entry_status_ = FinalStatus();
    return entry_status_;
  }

 private:
  // The compressed bytes of the current member, for our StreamDecoders.
  class MemberInput : public ByteInput {
   public:
    explicit MemberInput(LhasaSource* source) : source_(source) {}
    size_t Read(uint8_t* buf, size_t size) override {
      return LhasaSource::ReadCompressed(buf, size, source_);
    }

   private:
    LhasaSource* source_;
  };

  // What the end of a member's data means, from the decoder's count, CRC and state.
  Status FinalStatus() const {
    uint64_t length;
    uint16_t crc;
    bool damaged = false;
    if (own_decoder_ != nullptr) {
      length = own_decoder_->length();
      crc = own_decoder_->crc();
      damaged = own_decoder_->damaged();
    } else if (stream_ != nullptr) {
      length = stream_length_;
      crc = stream_crc_;
      switch (stream_->status()) {
        case DecodeStatus::kOk:
          break;
        case DecodeStatus::kOutOfMemory:
          return Status::Entry(ResultCode::kOutOfMemory, header_.name + ": out of memory");
        case DecodeStatus::kUnsupported:
          return Status::Entry(ResultCode::kUnsupportedMethod,
                               header_.name + ": method " + header_.method);
        case DecodeStatus::kDamaged:
          damaged = true;
          break;
      }
    } else {
      length = lha_decoder_get_length(decoder_);
      crc = lha_decoder_get_crc(decoder_);
    }
    if (in_.read_error()) {
      return Status::Fatal(ResultCode::kCannotOpen, "read error in " + header_.name);
    }
    if (length != header_.original_size || damaged) {
      return Status::Entry(ResultCode::kDamaged, header_.name + ": data cut short or broken");
    }
    if (crc != header_.crc) {
      return Status::Entry(ResultCode::kDamaged, header_.name + ": CRC error");
    }
    return Status::Ok();
  }

  bool StartDecoder() {
    switch (lha::EngineForMethod(header_.method)) {
      case MethodEngine::kLhDecoder: {
        if (lh_decoder_ == nullptr) lh_decoder_ = std::make_unique<lha::LhDecoder>();
        lh_decoder_->Start(lha::LhDecoder::DictionaryBits(header_.method),
                           &LhasaSource::ReadCompressed, this, header_.original_size);
        own_decoder_ = lh_decoder_.get();
        break;
      }
      case MethodEngine::kLh2:
      case MethodEngine::kLh3: {
        const bool lh2 = lha::EngineForMethod(header_.method) == MethodEngine::kLh2;
        std::unique_ptr<StreamDecoder>& kept = lh2 ? lh2_decoder_ : lh3_decoder_;
        if (kept == nullptr) kept = lh2 ? lha::MakeLh2Decoder() : lha::MakeLh3Decoder();
        stream_ = kept.get();
        stream_crc_ = 0;
        stream_length_ = 0;
        stream_->Start(&member_input_, header_.original_size);
        break;
      }
      case MethodEngine::kLhasa:
        if (!StartLhasa()) return false;
        break;
      case MethodEngine::kNoData:
      case MethodEngine::kUnknown:
        entry_status_ = Status::Entry(ResultCode::kUnsupportedMethod,
                                      header_.name + ": method " + header_.method);
        return false;
    }
    decoding_ = true;
    return true;
  }

  bool StartLhasa() {
    char method[6] = {};
    std::memcpy(method, header_.method.data(), 5);
    LHADecoderType* type = lha_decoder_for_name(method);
    if (type == nullptr) {
      entry_status_ = Status::Entry(ResultCode::kUnsupportedMethod,
                                    header_.name + ": method " + header_.method);
      return false;
    }
    if (header_.original_size > SIZE_MAX) {
      entry_status_ = Status::Entry(ResultCode::kUnsupportedMethod, "member too large");
      return false;
    }
    decoder_ = lha_decoder_new(type, &LhasaSource::ReadCompressed, this,
                               static_cast<size_t>(header_.original_size));
    if (decoder_ == nullptr) {
      entry_status_ = Status::Entry(ResultCode::kOutOfMemory, "cannot start the LHA decoder");
      return false;
    }
    return true;
  }

  // Every decoder pulls the compressed bytes of the current member through this.
  static size_t ReadCompressed(void* buf, size_t len, void* user) {
    auto* self = static_cast<LhasaSource*>(user);
    size_t want = static_cast<size_t>(std::min<uint64_t>(len, self->remaining_));
    size_t got = self->in_.Read(buf, want);
    self->remaining_ -= got;
    return got;
  }

  void CloseDecoder() {
    if (decoder_ != nullptr) lha_decoder_free(decoder_);
    decoder_ = nullptr;
    own_decoder_ = nullptr;
    stream_ = nullptr;
    decoding_ = false;
  }

  bool Fail(Status* status, ResultCode code, const std::string& message) {
    finished_ = true;
    *status = Status::Fatal(code, message);
    return false;
  }

  lha::InputFile in_;
  MemberHeader header_;
  int64_t next_header_ = 0;
  int code_page_ = 0;       // of the names without a Unicode mark, for the whole archive
  uint64_t remaining_ = 0;  // compressed bytes of the current member not yet given out
  bool decoding_ = false;   // one of the decoders below has started on the current member
  LHADecoder* decoder_ = nullptr;
  // Our decoders are kept from member to member: their windows are allocated once.
  std::unique_ptr<lha::LhDecoder> lh_decoder_;
  lha::LhDecoder* own_decoder_ = nullptr;  // lh_decoder_ while it decodes a member
  std::unique_ptr<StreamDecoder> lh2_decoder_, lh3_decoder_;
  std::shared_ptr<DecoderShelf> shelf_ = std::make_shared<DecoderShelf>();
  StreamDecoder* stream_ = nullptr;  // one of those while it decodes a member
  MemberInput member_input_{this};
  uint16_t stream_crc_ = 0;
  uint64_t stream_length_ = 0;
  Status entry_status_;
  bool data_done_ = true;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<EntrySource> OpenLhaSource(const std::string& path, Status* status) {
  auto source = std::make_unique<LhasaSource>();
  if (!source->Open(path, status)) return nullptr;
  return source;
}

}  // namespace engine
