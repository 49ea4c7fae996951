// A RAR archive as read from its headers: the volumes, and every entry with where its data
// lies, which solid stream it belongs to and what its data is checked against. Built once
// when the archive is opened and never changed afterwards, so that entries can be decoded
// in any order (non-solid ones independently of each other).
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_ARCHIVE_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_ARCHIVE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/rar/rar_headers.h"
#include "engine/rar/rar_passwords.h"
#include "engine/rar/rar_volume_scan.h"
#include "engine/rar/rar_volume_set.h"

namespace engine::rar {

inline constexpr size_t kNoItem = static_cast<size_t>(-1);

// One volume's share of an entry's packed data.
struct DataPiece {
  size_t volume = 0;
  int64_t offset = 0;
  uint64_t size = 0;
  // A piece that goes on in the next volume carries the checksum of its packed bytes.
  bool check_packed = false;
  FileHash packed_hash;
};

enum class ItemData {
  kNone,           // folders, RAR5 links and copies, devices: nothing to read
  kFile,           // the file's contents
  kSymlinkTarget,  // RAR 1.5-4.x Unix symlink: the data is the target
};

struct RarItem {
  Entry entry;       // as handed to the writer (`encrypted` is decided when it is reached)
  FileBlock header;  // the first piece's header, with the last piece's checksum
  std::vector<DataPiece> pieces;
  ItemData data = ItemData::kNone;
  // Set when the data cannot be read whatever the password: kMissingVolume (it goes on in
  // a volume that is not there), kDamaged (cut short, or a broken header in its set).
  ResultCode data_fault = ResultCode::kOk;
  bool listed = true;                // false: a damaged header, kept only for its place in a stream
  bool compressed = false;           // decoded by an unpacker (else copied)
  size_t stream_head = kNoItem;      // first item of its solid stream
  size_t stream_previous = kNoItem;  // compressed item it continues, kNoItem for a head
  uint64_t window_bytes = 0;         // the window its stream's unpacker gets (on the head)
};

struct RarArchive {
  RarFormat format = RarFormat::kRar15;
  bool solid = false;
  bool headers_encrypted = false;
  VolumeSet files;
  std::vector<RarItem> items;
  // What the end of the listing reports: ok, or why entries may be missing (kMissingVolume,
  // kDamaged for a cut or broken archive).
  Status end_status;
};

// Reads the headers of `path` and of every further volume of its set. Null with *status
// set when it is no RAR archive or nothing of it can be listed (encrypted headers without
// the password).
std::unique_ptr<RarArchive> OpenRarArchiveHeaders(const std::string& path,
                                                  PasswordKeeper* passwords, Status* status);

// Joins the scans of consecutive volumes into entries. `set_end` says how the set ended
// after the last scan: kOk, kMissingVolume or kDamaged. Exposed for tests.
void BuildItems(const std::vector<VolumeScan>& scans, ResultCode set_end, RarArchive* archive);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_ARCHIVE_H_
