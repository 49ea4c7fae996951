// RAR block headers of every version, parsed from their bytes: the RAR 1.3/1.4 layout
// ("RE~^"), RAR 1.5-4.x ("Rar!\x1A\x07\x00") and RAR5 ("Rar!\x1A\x07\x01\x00"). Only what
// extraction needs is kept from the main, file, end and (RAR5) encryption blocks; comments,
// owners, ACLs, streams, Mac data, recovery records and other service blocks are skipped
// by their sizes. No parser reads outside the bytes it is given.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/entry_source.h"

namespace engine::rar {

enum class RarFormat { kRar14, kRar15, kRar5 };

inline constexpr uint8_t kRar14Marker[4] = {'R', 'E', '~', '^'};
inline constexpr uint8_t kRar15Marker[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
inline constexpr uint8_t kRar5Marker[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

// Encryption of a file's data. RAR 1.3-2.0 used ciphers of their own, which we do not read.
enum class Crypt { kNone, kRar13, kRar15, kRar20, kRar30, kRar50, kUnknown };

struct FileCrypt {
  Crypt method = Crypt::kNone;
  bool has_salt = false;
  std::array<uint8_t, 16> salt{};  // RAR 2.9-4.x: the first 8 bytes; RAR5: all 16
  std::array<uint8_t, 16> iv{};    // RAR5
  int lg2_count = 0;               // RAR5: the key derivation runs 2^lg2_count rounds
  bool has_check = false;          // RAR5: a password check value is stored
  std::array<uint8_t, 8> check{};
  std::array<uint8_t, 4> check_sum{};  // guards `check` against damage
  bool hash_mac = false;               // RAR5: the stored checksums are keyed by the password
};

enum class HashType { kNone, kCrc32, kSum14, kBlake2 };

struct FileHash {
  HashType type = HashType::kNone;
  uint32_t crc = 0;  // kCrc32, and kSum14 (RAR 1.3/1.4's 16-bit sum)
  std::array<uint8_t, 32> blake2{};
};

// RAR5 redirection records; RAR 1.5-4.x Unix symlinks keep their target as file data.
enum class Redirect { kNone, kUnixSymlink, kWindowsSymlink, kJunction, kHardlink, kFileCopy };

enum class HostSystem { kWindows, kUnix, kOther };

struct FileBlock {
  std::string name;  // as stored, RAR 2.9-4.x compact Unicode names as UTF-8
  NameEncoding name_encoding = NameEncoding::kNative;
  HostSystem host = HostSystem::kWindows;
  uint32_t attributes = 0;  // Windows attributes or a Unix mode, as `host` says
  bool directory = false;
  int64_t mtime = 0;  // seconds since 1970, 0 when unknown
  uint64_t packed_size = 0;
  uint64_t unpacked_size = 0;
  bool size_unknown = false;
  int version = 0;  // compression version: 13, 15, 20, 26, 29, 36; RAR5: 50 and 70
  int method = 0;   // 0 stored, 1..5 compressed
  uint64_t window_bytes = 0;
  bool solid = false;  // the header's own flag: the file continues the stream before it
  bool split_before = false;
  bool split_after = false;
  bool extended_time = false;  // RAR 1.5-4.x: the header has the field RAR 2.9 introduced
  FileHash hash;  // of the unpacked file; of this volume's packed piece when split_after
  FileCrypt crypt;
  Redirect redirect = Redirect::kNone;
  std::string redirect_target;  // UTF-8
};

struct MainBlock {
  bool volume = false;
  bool solid = false;
  bool new_numbering = false;       // volumes named name.partN.rar rather than .rar, .r00
  bool first_volume_known = false;  // the header says whether this is the first volume
  bool first_volume = false;
  bool headers_encrypted = false;  // RAR 1.5-4.x: every later header is encrypted
  uint64_t volume_number = 0;      // RAR5: 0 for the first volume
};

struct EndBlock {
  bool next_volume = false;
  bool has_volume_number = false;
  uint64_t volume_number = 0;
};

struct CryptBlock {  // RAR5: the headers after this one are encrypted
  int lg2_count = 0;
  std::array<uint8_t, 16> salt{};
  bool has_check = false;
  std::array<uint8_t, 8> check{};
  std::array<uint8_t, 4> check_sum{};
  bool unknown_version = false;
};

enum class BlockKind { kMain, kFile, kService, kEnd, kCrypt, kOther };

struct Block {
  BlockKind kind = BlockKind::kOther;
  bool crc_ok = true;
  uint64_t data_size = 0;  // bytes of data after the header
  MainBlock main;
  FileBlock file;
  EndBlock end;
  CryptBlock crypt;
};

// RAR 1.5-4.x and RAR5 headers begin with a checksum and a size; these give the size of the
// whole header from its first bytes (`have` of them). 0 when the first bytes cannot begin
// a header; RAR5 needs up to 7 bytes.
size_t Rar4HeaderSize(const uint8_t* h, size_t have);
size_t Rar5HeaderSize(const uint8_t* h, size_t have);

// Parse one whole header (checksum first). False when its fields do not fit in it; a wrong
// checksum alone is reported in crc_ok.
bool ParseRar4Block(const uint8_t* h, size_t size, Block* block);
bool ParseRar5Block(const uint8_t* h, size_t size, Block* block);

// RAR 1.3/1.4: the main header follows the marker without a checksum of its own.
inline constexpr size_t kRar14MainSize = 7;
inline constexpr size_t kRar14FileFixedSize = 21;
// The main header at the marker (`size` bytes, at least kRar14MainSize).
bool ParseRar14Main(const uint8_t* h, size_t size, Block* block, size_t* header_size);
// The header size a file header declares, from its first kRar14FileFixedSize bytes.
size_t Rar14FileHeaderSize(const uint8_t* h);
bool ParseRar14File(const uint8_t* h, size_t size, Block* block);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_
