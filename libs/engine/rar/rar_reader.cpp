#include "engine/rar/rar_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/name_decoder.h"
#include "engine/rar/rar_archive.h"
#include "engine/rar/rar_member_decoder.h"
#include "engine/rar/rar_passwords.h"
#include "engine/rar/rar_signature.h"

namespace engine::rar {
namespace {

// A symlink target is a path; anything longer is damage, not a target.
constexpr size_t kMaxLinkTarget = 64 * 1024;
// The first file decrypted with a new password is decoded once before anything of it is
// handed out; a file up to this size is kept from that pass instead of decoded again (small,
// so that it adds little to the window and model the decoder already holds).
constexpr uint64_t kKeepTrialBytes = uint64_t{4} << 20;
constexpr size_t kChunk = size_t{1} << 16;

bool UsesPassword(const RarItem& item) {
  return item.data != ItemData::kNone &&
         (item.header.crypt.method == Crypt::kRar30 || item.header.crypt.method == Crypt::kRar50);
}

// A file handed out to be read on another thread, with a decoder of its own that exists
// only while the file is read, and its share of the archive's decoder memory.
class DetachedFile : public EntryData {
 public:
  DetachedFile(std::shared_ptr<const RarArchive> archive, std::shared_ptr<DecoderBudget> budget,
               size_t index, uint64_t memory)
      : archive_(std::move(archive)),
        budget_(std::move(budget)),
        index_(index),
        ticket_(budget_->Request(memory)) {}
  ~DetachedFile() override {
    decoder_.reset();
    if (!ended_) budget_->Return(ticket_);
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (ended_) return result_;
    if (decoder_ == nullptr) {
      budget_->Wait(ticket_);
      // Only files that are not encrypted are handed out, so no key is ever asked for.
      decoder_ = std::make_unique<MemberDecoder>(*archive_, [](const RarItem&, ItemKey*) {
        return Status::Entry(ResultCode::kEncrypted, "encrypted");
      });
      const Status status = decoder_->Start(index_);
      if (!status.ok()) return End(status);
    }
    const Status status = decoder_->Read(static_cast<uint8_t*>(buf), size, got);
    if (!status.ok() || *got == 0) return End(status);
    return status;
  }

 private:
  // The memory goes back as soon as the file is through, not when the writer gets to it.
  Status End(Status status) {
    decoder_.reset();
    budget_->Return(ticket_);
    ended_ = true;
    result_ = std::move(status);
    return result_;
  }

  std::shared_ptr<const RarArchive> archive_;
  std::shared_ptr<DecoderBudget> budget_;
  size_t index_;
  uint64_t ticket_;
  std::unique_ptr<MemberDecoder> decoder_;
  bool ended_ = false;
  Status result_;
};

class RarReader : public EntrySource {
 public:
  RarReader(std::unique_ptr<PasswordKeeper> passwords, std::unique_ptr<RarArchive> archive)
      : passwords_(std::move(passwords)),
        archive_(std::move(archive)),
        decoder_(*archive_,
                 [this](const RarItem& item, ItemKey* key) { return KeyFor(item, key); }),
        budget_(std::make_shared<DecoderBudget>(kMaxDecoderMemory)) {
    MapStreams();
  }
  ~RarReader() override { DropKept(); }

  bool Next(Entry* entry, Status* status) override;
  Status Read(void* buf, size_t size, size_t* got) override;
  std::unique_ptr<EntryData> DetachData() override;
  // Every header is read when the archive is opened, so the totals are known up front.
  bool Totals(uint64_t* bytes, uint64_t* entries) const override;

 private:
  Status KeyFor(const RarItem& item, ItemKey* key);
  // The current item is encrypted with a password nothing has confirmed yet.
  Status ConfirmPassword();
  // Whether the current item, or an item of its stream before it, is known to be broken
  // whatever the password.
  bool KnownBroken() const;
  Status ReadTarget(std::string* target);
  void MapStreams();
  // Whether item `index` decodes without any other item and without a password.
  bool Independent(size_t index) const;
  void DropKept() {
    WipeBytes(kept_.data(), kept_.size());
    kept_.clear();
    use_kept_ = false;
    kept_pos_ = 0;
  }

  std::unique_ptr<PasswordKeeper> passwords_;
  // Shared with the files handed out, which may be read after the reader is gone.
  std::shared_ptr<const RarArchive> archive_;
  MemberDecoder decoder_;
  std::shared_ptr<DecoderBudget> budget_;
  std::vector<size_t> stream_last_;  // for each stream's first item: its last item
  // The last link whose target needs an unpacker or a password to read, kNoItem for none.
  size_t last_decoded_link_ = kNoItem;
  size_t next_ = 0;
  size_t current_ = kNoItem;
  bool started_ = false;
  Status pending_;    // what Read reports for the current item instead of data
  std::string kept_;  // the current item, decoded while confirming the password
  bool use_kept_ = false;
  size_t kept_pos_ = 0;
};

void RarReader::MapStreams() {
  const std::vector<RarItem>& items = archive_->items;
  stream_last_.assign(items.size(), kNoItem);
  for (size_t i = 0; i < items.size(); ++i) {
    const RarItem& item = items[i];
    if (item.compressed) stream_last_[item.stream_head] = i;
    if (item.listed && item.data == ItemData::kSymlinkTarget &&
        (item.compressed || item.header.crypt.method != Crypt::kNone)) {
      last_decoded_link_ = i;
    }
  }
}

bool RarReader::Independent(size_t index) const {
  const RarItem& item = archive_->items[index];
  // The password is asked for on the program's thread, and PasswordKeeper is not shared.
  if (item.data != ItemData::kFile || item.header.crypt.method != Crypt::kNone ||
      item.data_fault != ResultCode::kOk) {
    return false;
  }
  // Next() decodes a link's target on this thread while the files handed out before it are
  // still being read, outside the memory they share; so the files before such a link stay
  // on this thread. RAR stores link targets, so this is rare.
  if (last_decoded_link_ != kNoItem && index < last_decoded_link_) return false;
  if (!item.compressed) return true;
  return item.stream_previous == kNoItem && stream_last_[index] == index &&
         item.window_bytes <= kMaxWindowBytes;
}

std::unique_ptr<EntryData> RarReader::DetachData() {
  if (current_ == kNoItem || started_ || !pending_.ok() || !Independent(current_)) return nullptr;
  // The reader's own decoder keeps a solid stream that goes on after this file (decoding it
  // again from its start would cost far more); any other unpacker it gives up, so that its
  // memory goes to the files in flight.
  const size_t held = decoder_.stream();
  if (held != kNoItem && stream_last_[held] < current_) decoder_.Release();
  budget_->SetOwn(decoder_.memory());
  const uint64_t memory = DecoderMemory(*archive_, current_);
  if (!budget_->Fits(memory)) return nullptr;
  started_ = true;
  pending_ = Status::Entry(ResultCode::kDamaged, "its data was handed out to be read elsewhere");
  return std::make_unique<DetachedFile>(archive_, budget_, current_, memory);
}

bool RarReader::Totals(uint64_t* bytes, uint64_t* entries) const {
  *bytes = 0;
  *entries = 0;
  for (const RarItem& item : archive_->items) {
    if (!item.listed) continue;
    ++*entries;
    if (item.data == ItemData::kFile && item.entry.size > 0) {
      *bytes += static_cast<uint64_t>(item.entry.size);
    }
  }
  return true;
}

Status RarReader::KeyFor(const RarItem& item, ItemKey* key) {
  const FileCrypt& crypt = item.header.crypt;
  for (;;) {
    if (!passwords_->Available()) {
      return Status::Entry(ResultCode::kEncrypted, "encrypted, and there is no password");
    }
    if (crypt.method == Crypt::kRar30) {
      key->rar3 = &passwords_->KeyRar3(crypt.has_salt ? crypt.salt.data() : nullptr);
      return Status::Ok();
    }
    const Rar5Key& k = passwords_->KeyRar5(crypt.salt, crypt.lg2_count);
    // A damaged check value must not turn a right password away: then the checksum of
    // the file is the test.
    if (!crypt.has_check || !Rar5CheckValueIntact(crypt.check, crypt.check_sum)) {
      key->rar5 = &k;
      return Status::Ok();
    }
    if (k.check == crypt.check) {
      passwords_->Confirm();
      key->rar5 = &k;
      return Status::Ok();
    }
    if (!passwords_->Retry()) {
      return Status::Entry(ResultCode::kEncrypted, "encrypted, and the password is wrong");
    }
  }
}

bool RarReader::Next(Entry* entry, Status* status) {
  *status = Status::Ok();
  DropKept();
  const std::vector<RarItem>& items = archive_->items;
  while (next_ < items.size() && !items[next_].listed) ++next_;
  if (next_ >= items.size()) {
    *status = archive_->end_status;
    return false;
  }
  current_ = next_++;
  started_ = false;
  pending_ = Status::Ok();
  const RarItem& item = items[current_];
  *entry = item.entry;
  const bool encrypted = item.data != ItemData::kNone && item.header.crypt.method != Crypt::kNone &&
                         item.header.crypt.method != Crypt::kUnknown;
  if (encrypted) {
    if (!UsesPassword(item) || !passwords_->Available()) {
      entry->encrypted = true;  // RAR 1.x/2.0 ciphers, or nobody gave a password
    } else if (item.header.crypt.method == Crypt::kRar50 && item.header.crypt.has_check) {
      ItemKey key;
      if (!KeyFor(item, &key).ok()) entry->encrypted = true;
    }
  }
  if (item.data == ItemData::kSymlinkTarget && !entry->encrypted) {
    std::string target;
    const Status read = ReadTarget(&target);
    if (read.ok()) {
      entry->link_target = std::move(target);
      if (!IsValidUtf8(entry->link_target)) entry->name_encoding = NameEncoding::kNative;
    } else {
      // The writer learns of the failure by reading the entry as a file.
      entry->type = EntryType::kFile;
      pending_ = read;
    }
  }
  return true;
}

Status RarReader::ReadTarget(std::string* target) {
  uint8_t buf[4096];
  for (;;) {
    size_t got = 0;
    const Status status = Read(buf, sizeof(buf), &got);
    if (!status.ok()) return status;
    if (got == 0) break;
    target->append(reinterpret_cast<const char*>(buf), got);
    if (target->size() > kMaxLinkTarget) {
      return Status::Entry(ResultCode::kDamaged, "a link target longer than any path");
    }
  }
  // A target ends at its first NUL; what follows is padding some archivers wrote.
  const size_t nul = target->find('\0');
  if (nul != std::string::npos) target->resize(nul);
  started_ = false;
  return Status::Ok();
}

bool RarReader::KnownBroken() const {
  const std::vector<RarItem>& items = archive_->items;
  const RarItem& item = items[current_];
  if (item.data_fault != ResultCode::kOk) return true;
  if (!item.compressed) return false;
  for (size_t j = item.stream_head; j < current_; ++j) {
    if (items[j].stream_head != item.stream_head || !items[j].compressed) continue;
    if (items[j].data_fault != ResultCode::kOk || !items[j].listed) return true;
  }
  return false;
}

Status RarReader::ConfirmPassword() {
  const RarItem& item = archive_->items[current_];
  // Damage no password explains is reported as what it is, not as a wrong password.
  if (KnownBroken()) return decoder_.Start(current_);
  const bool keep =
      item.entry.size >= 0 && static_cast<uint64_t>(item.entry.size) <= kKeepTrialBytes;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
  for (;;) {
    Status status = decoder_.Start(current_);
    // A check value may have confirmed the password while the entry was started.
    if (status.ok() && passwords_->confirmed()) return status;
    DropKept();
    while (status.ok()) {
      size_t got = 0;
      status = decoder_.Read(chunk.get(), kChunk, &got);
      if (!status.ok() || got == 0) break;
      if (keep) kept_.append(reinterpret_cast<const char*>(chunk.get()), got);
    }
    WipeBytes(chunk.get(), kChunk);
    if (status.ok()) {
      passwords_->Confirm();
      if (keep) {
        use_kept_ = true;
        return Status::Ok();
      }
      return decoder_.Start(current_);
    }
    DropKept();
    // Only what a wrong key causes is blamed on the password: garbage that does not decode
    // or does not match its checksum.
    if (status.code != ResultCode::kDamaged) return status;
    if (!passwords_->Retry()) {
      return Status::Entry(ResultCode::kEncrypted, "encrypted, and the password is wrong");
    }
  }
}

Status RarReader::Read(void* buf, size_t size, size_t* got) {
  *got = 0;
  if (current_ == kNoItem) return Status::Entry(ResultCode::kDamaged, "no entry");
  if (!pending_.ok()) return pending_;
  if (!started_) {
    started_ = true;
    const RarItem& item = archive_->items[current_];
    const Status status = UsesPassword(item) && !passwords_->confirmed() ? ConfirmPassword()
                                                                         : decoder_.Start(current_);
    if (!status.ok()) {
      pending_ = status;
      return status;
    }
  }
  if (use_kept_) {
    const size_t n = std::min(size, kept_.size() - kept_pos_);
    std::memcpy(buf, kept_.data() + kept_pos_, n);
    kept_pos_ += n;
    *got = n;
    return Status::Ok();
  }
  const Status status = decoder_.Read(static_cast<uint8_t*>(buf), size, got);
  if (!status.ok()) pending_ = status;
  return status;
}

}  // namespace

std::unique_ptr<EntrySource> OpenRarReader(const std::string& path, const ReaderContext& context,
                                           Status* status) {
  *status = Status::Ok();
  auto passwords = std::make_unique<PasswordKeeper>(context.passwords);
  std::unique_ptr<RarArchive> archive = OpenRarArchiveHeaders(path, passwords.get(), status);
  if (archive == nullptr) return nullptr;
  return std::make_unique<RarReader>(std::move(passwords), std::move(archive));
}

bool IsRarFile(const std::string& path) {
  VolumeSet files;
  ArchiveStart start;
  return files.Add(path) && FindArchiveStart(files, 0, &start);
}

}  // namespace engine::rar
