#include "engine/rar/rar_volume_scan.h"

namespace engine::rar {
namespace {

enum class HeaderRead { kOk, kEndOfFile, kCutShort, kBad };
enum class Pass { kDone, kWrongPassword };

// Where the data after a header ends, without overflowing on a hostile size.
int64_t DataEnd(int64_t data_start, uint64_t data_size) {
  constexpr uint64_t kFar = uint64_t{1} << 62;
  return data_size >= kFar ? static_cast<int64_t>(kFar)
                           : data_start + static_cast<int64_t>(data_size);
}

class Scanner {
 public:
  Scanner(const VolumeSet& files, size_t volume, PasswordKeeper* passwords, VolumeScan* scan)
      : files_(files), volume_(volume), passwords_(passwords), scan_(scan) {}

  Pass Run();
  void RunRar14();

 private:
  HeaderRead ReadPlain(int64_t pos, std::vector<uint8_t>* header, int64_t* data_start);
  HeaderRead ReadEncrypted(int64_t pos, std::vector<uint8_t>* header, int64_t* data_start);
  // Handles the RAR5 encryption block; false when the scan has to stop.
  bool StartRar5Decryption(const CryptBlock& crypt);

  const VolumeSet& files_;
  size_t volume_;
  PasswordKeeper* passwords_;
  VolumeScan* scan_;
  bool rar5_ = false;
  bool encrypted_ = false;
  const Rar5Key* rar5_key_ = nullptr;
};

HeaderRead Scanner::ReadPlain(int64_t pos, std::vector<uint8_t>* header, int64_t* data_start) {
  uint8_t start[7];
  const int64_t got = files_.ReadAt(volume_, pos, start, sizeof(start));
  if (got == 0) return HeaderRead::kEndOfFile;
  if (got < static_cast<int64_t>(sizeof(start))) return HeaderRead::kCutShort;
  const size_t size = rar5_ ? Rar5HeaderSize(start, sizeof(start)) : Rar4HeaderSize(start, 7);
  if (size == 0) return HeaderRead::kBad;
  header->resize(size);
  if (!files_.ReadFully(volume_, pos, header->data(), size)) return HeaderRead::kCutShort;
  *data_start = pos + static_cast<int64_t>(size);
  return HeaderRead::kOk;
}

// Encrypted headers: RAR 1.5-4.x put an 8-byte salt before each, RAR5 a 16-byte IV; the
// header itself is padded to whole AES blocks.
HeaderRead Scanner::ReadEncrypted(int64_t pos, std::vector<uint8_t>* header, int64_t* data_start) {
  const size_t prefix = rar5_ ? 16 : 8;
  uint8_t lead[16];
  const int64_t got = files_.ReadAt(volume_, pos, lead, prefix);
  if (got == 0) return HeaderRead::kEndOfFile;
  if (got < static_cast<int64_t>(prefix)) return HeaderRead::kCutShort;
  CbcDecryptor cipher;
  if (rar5_) {
    std::array<uint8_t, 16> iv;
    std::copy(lead, lead + 16, iv.begin());
    cipher.Start(*rar5_key_, iv);
  } else {
    cipher.Start(passwords_->KeyRar3(lead));
  }
  const int64_t body = pos + static_cast<int64_t>(prefix);
  uint8_t first[16];
  if (!files_.ReadFully(volume_, body, first, sizeof(first))) return HeaderRead::kCutShort;
  cipher.Decrypt(first, sizeof(first));
  const size_t size = rar5_ ? Rar5HeaderSize(first, sizeof(first)) : Rar4HeaderSize(first, 16);
  if (size == 0) return HeaderRead::kBad;
  const size_t padded = (size + 15) & ~size_t{15};
  header->resize(padded);
  std::copy(first, first + 16, header->begin());
  if (padded > 16) {
    if (!files_.ReadFully(volume_, body + 16, header->data() + 16, padded - 16)) {
      return HeaderRead::kCutShort;
    }
    cipher.Decrypt(header->data() + 16, padded - 16);
  }
  header->resize(size);
  *data_start = body + static_cast<int64_t>(padded);
  return HeaderRead::kOk;
}

bool Scanner::StartRar5Decryption(const CryptBlock& crypt) {
  scan_->headers_encrypted = true;
  if (crypt.unknown_version) {
    scan_->how = ScanEnd::kUnsupported;
    return false;
  }
  const bool check = crypt.has_check && Rar5CheckValueIntact(crypt.check, crypt.check_sum);
  for (;;) {
    if (!passwords_->Available()) {
      scan_->how = ScanEnd::kNoPassword;
      return false;
    }
    rar5_key_ = &passwords_->KeyRar5(crypt.salt, crypt.lg2_count);
    if (!check) break;
    if (rar5_key_->check == crypt.check) {
      passwords_->Confirm();
      break;
    }
    if (!passwords_->Retry()) {
      scan_->how = ScanEnd::kNoPassword;
      return false;
    }
  }
  encrypted_ = true;
  return true;
}

Pass Scanner::Run() {
  rar5_ = scan_->start.format == RarFormat::kRar5;
  scan_->end_block_expected = rar5_;
  const int64_t file_size = files_.size(volume_);
  int64_t pos = scan_->start.first_block;
  bool first_encrypted = true;
  std::vector<uint8_t> header;
  for (;;) {
    int64_t data_start = 0;
    const HeaderRead read = encrypted_ ? ReadEncrypted(pos, &header, &data_start)
                                       : ReadPlain(pos, &header, &data_start);
    if (read == HeaderRead::kEndOfFile) {
      // RAR writes no archive without files: one that ends before its first was cut.
      const bool cut = scan_->end_block_expected || scan_->files.empty();
      scan_->how = cut ? ScanEnd::kCutShort : ScanEnd::kEndOfFile;
      return Pass::kDone;
    }
    if (encrypted_ && first_encrypted && read != HeaderRead::kOk && !passwords_->confirmed()) {
      return Pass::kWrongPassword;  // a wrong key gives a header size that makes no sense
    }
    if (read == HeaderRead::kCutShort) {
      scan_->how = ScanEnd::kCutShort;
      return Pass::kDone;
    }
    Block block;
    const bool parsed =
        read == HeaderRead::kOk && (rar5_ ? ParseRar5Block(header.data(), header.size(), &block)
                                          : ParseRar4Block(header.data(), header.size(), &block));
    if (encrypted_ && first_encrypted) {
      // Without a check value, the first decrypted header is the test of the password.
      first_encrypted = false;
      if (parsed && block.crc_ok) {
        passwords_->Confirm();
      } else if (!passwords_->confirmed()) {
        return Pass::kWrongPassword;
      }
    }
    if (!parsed) {
      scan_->how = ScanEnd::kBroken;
      return Pass::kDone;
    }
    const int64_t next = DataEnd(data_start, block.data_size);
    switch (block.kind) {
      case BlockKind::kCrypt:
        if (!rar5_ || encrypted_ || !block.crc_ok) {
          scan_->how = ScanEnd::kBroken;
          return Pass::kDone;
        }
        if (!StartRar5Decryption(block.crypt)) return Pass::kDone;
        break;
      case BlockKind::kMain:
        scan_->main = block.main;
        if (!block.crc_ok) scan_->damaged = true;
        // Flags only RAR 3.0 and later set.
        if (block.main.headers_encrypted || block.main.first_volume) {
          scan_->end_block_expected = true;
        }
        if (!rar5_ && block.main.headers_encrypted) {
          scan_->headers_encrypted = true;
          if (!passwords_->Available()) {
            scan_->how = ScanEnd::kNoPassword;
            return Pass::kDone;
          }
          encrypted_ = true;
        }
        break;
      case BlockKind::kFile:
        if (block.crc_ok && (block.file.version >= 29 || block.file.extended_time)) {
          scan_->end_block_expected = true;
        }
        scan_->files.push_back({std::move(block.file), data_start, !block.crc_ok});
        break;
      case BlockKind::kEnd:
        scan_->end = block.end;
        if (!block.crc_ok) scan_->damaged = true;
        scan_->how = ScanEnd::kEndBlock;
        return Pass::kDone;
      default:
        break;  // service data, comments, recovery records: skipped by their size
    }
    if (next > file_size) {
      scan_->how = ScanEnd::kCutShort;
      return Pass::kDone;
    }
    if (next <= pos) {
      scan_->how = ScanEnd::kBroken;
      return Pass::kDone;
    }
    pos = next;
  }
}

void Scanner::RunRar14() {
  const int64_t file_size = files_.size(volume_);
  int64_t pos = scan_->start.first_block;
  uint8_t main[kRar14MainSize];
  Block block;
  size_t main_size = 0;
  if (!files_.ReadFully(volume_, pos, main, sizeof(main)) ||
      !ParseRar14Main(main, sizeof(main), &block, &main_size)) {
    scan_->how = ScanEnd::kBroken;
    return;
  }
  scan_->main = block.main;
  pos += static_cast<int64_t>(main_size);
  std::vector<uint8_t> header;
  for (;;) {
    uint8_t fixed[kRar14FileFixedSize];
    const int64_t got = files_.ReadAt(volume_, pos, fixed, sizeof(fixed));
    if (got == 0) {
      scan_->how = scan_->files.empty() ? ScanEnd::kCutShort : ScanEnd::kEndOfFile;
      return;
    }
    if (got < static_cast<int64_t>(sizeof(fixed))) {
      scan_->how = ScanEnd::kCutShort;
      return;
    }
    const size_t size = Rar14FileHeaderSize(fixed);
    if (size == 0) {
      scan_->how = ScanEnd::kBroken;
      return;
    }
    header.resize(size);
    if (!files_.ReadFully(volume_, pos, header.data(), size)) {
      scan_->how = ScanEnd::kCutShort;
      return;
    }
    if (!ParseRar14File(header.data(), size, &block)) {
      scan_->how = ScanEnd::kBroken;
      return;
    }
    const int64_t data_start = pos + static_cast<int64_t>(size);
    const int64_t next = DataEnd(data_start, block.data_size);
    scan_->files.push_back({std::move(block.file), data_start, false});
    if (next > file_size) {
      scan_->how = ScanEnd::kCutShort;
      return;
    }
    pos = next;
  }
}

}  // namespace

bool ScanVolume(const VolumeSet& files, size_t volume, PasswordKeeper* passwords,
                VolumeScan* scan) {
  ArchiveStart start;
  if (!FindArchiveStart(files, volume, &start)) return false;
  for (;;) {
    *scan = VolumeScan{};
    scan->start = start;
    Scanner scanner(files, volume, passwords, scan);
    if (start.format == RarFormat::kRar14) {
      scanner.RunRar14();
      return true;
    }
    if (scanner.Run() == Pass::kDone) return true;
    if (!passwords->Retry()) {
      *scan = VolumeScan{};
      scan->start = start;
      scan->headers_encrypted = true;
      scan->how = ScanEnd::kNoPassword;
      return true;
    }
  }
}

}  // namespace engine::rar
