// The members of an LHA archive (CMake: liblhasa for the rare methods).
//
// The member headers are read by lha_header.cpp. Which decoder takes a member's data:
//   -lh0-, -lh5- to -lh7-   LhDecoder (lh_decoder.cpp; why: lha_format.cpp)
//   every other method     liblhasa, which knows -lhx-, -lh1-, -lh4-, -lz4-, -lzs-,
//                          -lz5-, -pm0- to -pm2-; one it does not know is kUnsupportedMethod
// Both keep the CRC-16 of what they produced, which is compared with the header's at the
// end of each member: a member that fails it is kDamaged, never a success.
#include "engine/lha/lha_source.h"

#include <lha_decoder.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/entry_source.h"
#include "engine/lha/lh_decoder.h"
#include "engine/lha/lha_header.h"
#include "engine/lha/lha_input.h"
#include "engine/lha/lha_locate.h"

namespace engine {
namespace {

using lha::MemberHeader;
using lha::ParseResult;

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
        // A few bytes without a method id are padding (transfer programs added 0x1A bytes
        // to fill their last block); with one, a header was cut off.
        if (!lha::HasMethodId(in_.data(), in_.buffered())) {
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
    entry->type = header_.type;
    entry->link_target = header_.link_target;
    entry->size =
        header_.type == EntryType::kFile ? static_cast<int64_t>(header_.original_size) : 0;
    entry->mtime = header_.mtime;
    entry->mode = header_.has_unix_mode ? header_.unix_mode & 07777 : 0;
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (!entry_status_.ok() || data_done_ || size == 0) return entry_status_;
    if (decoder_ == nullptr && own_decoder_ == nullptr && !StartDecoder()) return entry_status_;
    auto* out = static_cast<uint8_t*>(buf);
    *got = own_decoder_ ? own_decoder_->Read(out, size) : lha_decoder_read(decoder_, out, size);
    if (*got > 0) return Status::Ok();
    data_done_ = true;
    uint64_t length = own_decoder_ ? own_decoder_->length() : lha_decoder_get_length(decoder_);
    uint16_t crc = own_decoder_ ? own_decoder_->crc() : lha_decoder_get_crc(decoder_);
    if (in_.read_error()) {
      entry_status_ = Status::Fatal(ResultCode::kCannotOpen, "read error in " + header_.name);
    } else if (length != header_.original_size || (own_decoder_ && own_decoder_->damaged())) {
      entry_status_ = Status::Entry(ResultCode::kDamaged, header_.name + ": data cut short");
    } else if (crc != header_.crc) {
      entry_status_ = Status::Entry(ResultCode::kDamaged, header_.name + ": CRC error");
    }
    return entry_status_;
  }

 private:
  bool StartDecoder() {
    int dictionary_bits = lha::LhDecoder::DictionaryBits(header_.method);
    if (dictionary_bits >= 0) {
      if (lh_decoder_ == nullptr) lh_decoder_ = std::make_unique<lha::LhDecoder>();
      lh_decoder_->Start(dictionary_bits, &LhasaSource::ReadCompressed, this,
                         header_.original_size);
      own_decoder_ = lh_decoder_.get();
      return true;
    }
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

  // liblhasa pulls the compressed bytes of the current member through this.
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
  }

  bool Fail(Status* status, ResultCode code, const std::string& message) {
    finished_ = true;
    *status = Status::Fatal(code, message);
    return false;
  }

  lha::InputFile in_;
  MemberHeader header_;
  int64_t next_header_ = 0;
  uint64_t remaining_ = 0;  // compressed bytes of the current member not yet given out
  LHADecoder* decoder_ = nullptr;
  std::unique_ptr<lha::LhDecoder> lh_decoder_;  // kept from member to member
  lha::LhDecoder* own_decoder_ = nullptr;       // lh_decoder_ while it decodes a member
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
