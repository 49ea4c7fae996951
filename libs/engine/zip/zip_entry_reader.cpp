#include "engine/zip/zip_entry_reader.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/zip/zip_methods.h"

namespace engine::zip {
namespace {

constexpr size_t kLocalHeaderSize = 30;
// Read with the local header: enough for the whole of a small entry, little for a large one.
constexpr size_t kMaxAhead = size_t{64} << 10;
constexpr size_t kAheadSlack = 256;

Status Damaged(const std::string& message) { return Status::Entry(ResultCode::kDamaged, message); }

Status FromDecoder(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return Status::Ok();
    case DecodeStatus::kOutOfMemory:
      return Status::Entry(ResultCode::kOutOfMemory, "needs more memory than we allow");
    case DecodeStatus::kUnsupported:
      return Status::Entry(ResultCode::kUnsupportedMethod, "a feature of the method we lack");
    case DecodeStatus::kDamaged:
      break;
  }
  return Damaged("the data cannot be decoded");
}

Status FromReadError(ResultCode error) {
  if (error == ResultCode::kMissingVolume) {
    return Status::Entry(ResultCode::kMissingVolume, "its data lies in a missing volume");
  }
  return Status::Fatal(ResultCode::kCannotOpen, "the archive cannot be read");
}

// Wipes each form of a password when the attempt is over.
struct PasswordFormsGuard {
  std::vector<std::string> forms;
  ~PasswordFormsGuard() {
    for (std::string& f : forms) WipeString(&f);
  }
};

}  // namespace

void PackedInput::Reset(const VolumeSet* volumes, VolumePos pos, uint64_t length,
                        const uint8_t* ahead, size_t ahead_size) {
  volumes_ = volumes;
  pos_ = pos;
  left_ = length;
  ahead_ = ahead;
  ahead_size_ = ahead_size;
  error_ = ResultCode::kOk;
}

size_t PackedInput::Read(uint8_t* buf, size_t size) {
  if (size > left_) size = static_cast<size_t>(left_);
  if (size == 0) return 0;
  size_t done = 0;
  if (ahead_size_ > 0) {
    done = std::min(size, ahead_size_);
    std::memcpy(buf, ahead_, done);
    ahead_ += done;
    ahead_size_ -= done;
  }
  if (done < size) {
    ResultCode error;
    const VolumePos at = volumes_->Advance(pos_, done);
    done += volumes_->ReadAt(at, buf + done, size - done, &error);
    if (error != ResultCode::kOk) error_ = error;
  }
  pos_ = volumes_->Advance(pos_, done);
  left_ -= done;
  return done;
}

// The packed bytes decrypted on their way to the decoder.
class ZipEntryReader::DecryptingInput : public ByteInput {
 public:
  DecryptingInput(PackedInput* packed, TraditionalCipher* traditional, WinZipAes* aes)
      : packed_(packed), traditional_(traditional), aes_(aes) {}
  size_t Read(uint8_t* buf, size_t size) override {
    const size_t n = packed_->Read(buf, size);
    if (traditional_ != nullptr) traditional_->Decrypt(buf, n);
    if (aes_ != nullptr) aes_->Decrypt(buf, n);
    return n;
  }

 private:
  PackedInput* packed_;
  TraditionalCipher* traditional_;
  WinZipAes* aes_;
};

ZipEntryReader::ZipEntryReader(const VolumeSet& volumes, const ZipEntryInfo& info,
                               PasswordKeeper* passwords, int code_page)
    : volumes_(volumes), info_(info), passwords_(passwords), code_page_(code_page) {}

ZipEntryReader::~ZipEntryReader() {
  // The data may be what the password protects.
  if (!ahead_.empty()) std::memset(ahead_.data(), 0, ahead_.size());
}

Status ZipEntryReader::ReadLocalHeader() {
  const uint64_t guess = kLocalHeaderSize + info_.name.size() + info_.directory_extra_length +
                         kAheadSlack + info_.packed_size;
  ahead_.resize(static_cast<size_t>(std::min<uint64_t>(guess, kMaxAhead)));
  ResultCode error;
  size_t got = volumes_.ReadAt(info_.local, ahead_.data(), ahead_.size(), &error);
  if (got < kLocalHeaderSize) {
    if (error != ResultCode::kOk) return FromReadError(error);
    return Damaged("its local header lies past the end of the archive");
  }
  const uint8_t* h = ahead_.data();
  if (Le32(h) != 0x04034B50) return Damaged("no local header where the directory says");
  local_flags_ = Le16(h + 6);
  local_time_ = Le16(h + 10);
  local_crc_ = Le32(h + 14);
  const size_t name_length = Le16(h + 26);
  size_t extra_length = Le16(h + 28);
  // Some writers put a wrong length on the local extra block. When the data would then run
  // past where the next entry starts while the directory's length fits, take that one.
  const uint64_t volume_size = volumes_.size(info_.local.disk);
  if (info_.limit != 0 && info_.limit < volume_size) {
    auto end_with = [&](size_t extra) {
      return info_.local.offset + kLocalHeaderSize + name_length + extra + info_.packed_size;
    };
    if (end_with(extra_length) > info_.limit &&
        end_with(info_.directory_extra_length) <= info_.limit) {
      extra_length = info_.directory_extra_length;
    }
  }
  const size_t header = kLocalHeaderSize + name_length + extra_length;
  data_ = volumes_.Advance(info_.local, header);
  data_in_ahead_ = std::min(header, got);
  ahead_.resize(got);
  return Status::Ok();
}

ZipEntryReader::KeyCheck ZipEntryReader::Begin(const std::string* password, Status* status) {
  const size_t ahead_data = ahead_.size() - data_in_ahead_;
  uint64_t payload = info_.packed_size;
  const bool aes = info_.method == kMethodWinZipAes;
  size_t salt_size = 0;
  if (aes) {
    salt_size = WinZipAes::SaltSize(info_.aes_strength);
    const uint64_t overhead = salt_size + WinZipAes::kVerifierSize + WinZipAes::kMacSize;
    if (payload < overhead) {
      *status = Damaged("too short for its encryption");
      return KeyCheck::kFailed;
    }
    payload -= WinZipAes::kMacSize;  // the code after the data is read at the end
  }
  packed_.Reset(&volumes_, data_, payload, ahead_.data() + data_in_ahead_,
                static_cast<size_t>(std::min<uint64_t>(ahead_data, payload)));
  traditional_.reset();
  aes_.reset();
  if (password != nullptr && !aes) {
    uint8_t header[TraditionalCipher::kHeaderSize];
    if (packed_.Read(header, sizeof(header)) != sizeof(header)) {
      *status = packed_.error() != ResultCode::kOk ? FromReadError(packed_.error())
                                                   : Damaged("too short for its encryption");
      return KeyCheck::kFailed;
    }
    traditional_ = std::make_unique<TraditionalCipher>(*password);
    const uint8_t check = traditional_->DecryptHeader(header);
    // With a data descriptor the writer did not know the CRC yet and used the time instead;
    // writers differ in which flag they looked at, so either one counts.
    const bool by_crc =
        check == (info_.crc32 >> 24) || (local_crc_ != 0 && check == (local_crc_ >> 24));
    const bool by_time = check == (local_time_ >> 8) || check == ((info_.dos_time >> 8) & 0xFF);
    const bool descriptor = ((info_.flags | local_flags_) & kFlagDataDescriptor) != 0;
    if (!by_crc && !(descriptor && by_time)) return KeyCheck::kWrong;
    payload -= TraditionalCipher::kHeaderSize;
  } else if (password != nullptr) {
    uint8_t start[16 + WinZipAes::kVerifierSize];
    const size_t want = salt_size + WinZipAes::kVerifierSize;
    if (packed_.Read(start, want) != want) {
      *status = packed_.error() != ResultCode::kOk ? FromReadError(packed_.error())
                                                   : Damaged("too short for its encryption");
      return KeyCheck::kFailed;
    }
    aes_ = std::make_unique<WinZipAes>();
    if (!aes_->Start(*password, info_.aes_strength, start, start + salt_size)) {
      return KeyCheck::kWrong;
    }
    payload -= want;
  }
  input_ = std::make_unique<DecryptingInput>(&packed_, traditional_.get(), aes_.get());
  decoder_.reset();
  if (info_.unpacked_size > 0) {
    MethodParams params;
    params.method = info_.real_method();
    params.flags = info_.flags;
    params.packed_size = payload;
    params.unpacked_size = info_.unpacked_size;
    decoder_ = MakeMethodDecoder(params);
    if (decoder_ == nullptr) {
      *status = Status::Entry(ResultCode::kUnsupportedMethod,
                              "compression method " + std::to_string(params.method));
      return KeyCheck::kFailed;
    }
    decoder_->Start(input_.get(), info_.unpacked_size);
  }
  crc_ = 0;
  produced_ = 0;
  done_ = false;
  final_ = Status::Ok();
  return KeyCheck::kRight;
}

Status ZipEntryReader::Open() {
  opened_ = true;
  if (info_.damaged) return Damaged("its header is unusable or it lies inside another entry");
  if (info_.strong_encryption()) {
    return Status::Entry(ResultCode::kEncrypted, "PKWARE strong encryption");
  }
  if (info_.method == kMethodWinZipAes && WinZipAes::SaltSize(info_.aes_strength) == 0) {
    return Status::Entry(ResultCode::kUnsupportedMethod, "AES without its parameters");
  }
  // No password is asked for data nobody here can decode.
  if (info_.unpacked_size > 0 && !IsKnownMethod(info_.real_method())) {
    return Status::Entry(ResultCode::kUnsupportedMethod,
                         "compression method " + std::to_string(info_.real_method()));
  }
  Status status = ReadLocalHeader();
  if (!status.ok()) return status;
  if (info_.encrypted() || info_.method == kMethodWinZipAes) return OpenEncrypted();
  Begin(nullptr, &status);
  return status;
}

Status ZipEntryReader::OpenEncrypted() {
  std::string last_wrong;
  bool last_wrong_by_data = false;  // the check value passed, the decoded data did not
  struct Wipe {
    std::string* s;
    ~Wipe() { WipeString(s); }
  } wipe{&last_wrong};
  for (;;) {
    PasswordTicket ticket;
    if (!passwords_->Current(&ticket)) {
      return Status::Entry(ResultCode::kEncrypted, "encrypted, and no password was given");
    }
    const bool again = !last_wrong.empty() && ticket.password == last_wrong;
    PasswordFormsGuard guard{PasswordForms(ticket.password, code_page_)};
    Status status;
    KeyCheck check = KeyCheck::kWrong;
    size_t form = 0;
    for (; form < guard.forms.size(); ++form) {
      check = Begin(&guard.forms[form], &status);
      if (check != KeyCheck::kWrong) break;
    }
    if (check == KeyCheck::kFailed) return status;
    if (check == KeyCheck::kWrong) {
      // The same answer twice: this entry is not for that password, the next ones may be.
      if (again) return Status::Entry(ResultCode::kEncrypted, "wrong password");
      WipeString(&last_wrong);
      last_wrong = ticket.password;
      last_wrong_by_data = false;
      passwords_->Wrong(ticket.generation);
      continue;
    }
    // A wrong password passes the one-byte check of traditional encryption once in 256 times,
    // so a new one proves itself on a whole entry before any data of it is handed out. Given
    // again after its data failed, the user vouches for it: the entry is what is damaged.
    if (ticket.confirmed || (again && last_wrong_by_data) || info_.unpacked_size == 0) {
      if (again) passwords_->Confirmed(ticket.generation);
      return Status::Ok();
    }
    status = DecodeToEnd();
    if (status.ok()) {
      passwords_->Confirmed(ticket.generation);
      Begin(&guard.forms[form], &status);
      return status;
    }
    if (status.code != ResultCode::kDamaged) return status;
    WipeString(&last_wrong);
    last_wrong = ticket.password;
    last_wrong_by_data = true;
    passwords_->Wrong(ticket.generation);
  }
}

Status ZipEntryReader::DecodeToEnd() {
  std::unique_ptr<uint8_t[]> scratch(new uint8_t[kMaxAhead]);
  for (;;) {
    size_t got = 0;
    Status status = Read(scratch.get(), kMaxAhead, &got);
    if (!status.ok() || got == 0) {
      std::memset(scratch.get(), 0, kMaxAhead);
      return status;
    }
  }
}

Status ZipEntryReader::Read(void* buf, size_t size, size_t* got) {
  *got = 0;
  if (!opened_) {
    Status status = Open();
    if (!status.ok()) {
      done_ = true;
      final_ = status;
    }
  }
  if (done_) return final_;
  const size_t n = decoder_ != nullptr ? decoder_->Read(static_cast<uint8_t*>(buf), size) : 0;
  if (n > 0) {
    crc_ = static_cast<uint32_t>(libdeflate_crc32(crc_, buf, n));
    produced_ += n;
    *got = n;
    if (produced_ <= info_.unpacked_size) return Status::Ok();
  }
  done_ = true;
  *got = 0;
  final_ = Finish();
  return final_;
}

Status ZipEntryReader::Finish() {
  if (packed_.error() != ResultCode::kOk) return FromReadError(packed_.error());
  if (decoder_ != nullptr && decoder_->status() != DecodeStatus::kOk) {
    return FromDecoder(decoder_->status());
  }
  if (produced_ != info_.unpacked_size) return Damaged("data shorter than its header says");
  if (aes_ != nullptr) {
    Status status = DrainAndCheckMac();
    if (!status.ok()) return status;
  }
  // AE-2 leaves the CRC out on purpose (it would tell about the plain text); the
  // authentication code stands in for it.
  if (aes_ != nullptr && info_.aes_version == 2) return Status::Ok();
  // A CRC the local header alone has (and the directory lost) is the writer's too.
  const bool local_crc_counts =
      (local_flags_ & kFlagDataDescriptor) == 0 && local_crc_ != 0 && local_crc_ != info_.crc32;
  if (crc_ != info_.crc32 && !(local_crc_counts && crc_ == local_crc_)) {
    return Damaged("CRC error");
  }
  return Status::Ok();
}

Status ZipEntryReader::DrainAndCheckMac() {
  // The code covers all of the encrypted data, also what the decoder did not need.
  uint8_t scratch[4096];
  while (packed_.left() > 0) {
    if (input_->Read(scratch, sizeof(scratch)) == 0) break;
  }
  if (packed_.error() != ResultCode::kOk) return FromReadError(packed_.error());
  if (packed_.left() > 0) return Damaged("cut short");
  uint8_t mac[WinZipAes::kMacSize];
  ResultCode error;
  const VolumePos at = volumes_.Advance(data_, info_.packed_size - WinZipAes::kMacSize);
  if (volumes_.ReadAt(at, mac, sizeof(mac), &error) != sizeof(mac)) {
    return error != ResultCode::kOk ? FromReadError(error) : Damaged("cut short");
  }
  if (!aes_->CheckMac(mac)) return Damaged("authentication code does not match");
  return Status::Ok();
}

}  // namespace engine::zip
