// From the file headers of every volume to the entries the writer sees: pieces of a file
// split over volumes joined, each entry's kind and attributes, its solid stream and the
// window that stream needs, and the code page of names not marked Unicode.
#include <algorithm>
#include <string_view>

#include "engine/legacy_names.h"
#include "engine/name_decoder.h"
#include "engine/rar/rar_archive.h"

namespace engine::rar {
namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDirectory = 0040000;
constexpr uint32_t kUnixRegular = 0100000;
constexpr uint32_t kUnixSymlink = 0120000;
constexpr uint32_t kWindowsReadOnly = 0x01;

// Windows would be sized for the whole stream at most; below this the saving is nothing
// and the unpackers have their own floors anyway.
constexpr uint64_t kSmallestWindow = uint64_t{1} << 16;
constexpr uint64_t kHugeSize = uint64_t{1} << 62;

uint64_t PowerOfTwoAtLeast(uint64_t size) {
  uint64_t p = 1;
  while (p < size && p < kHugeSize) p <<= 1;
  return p;
}

void DescribeEntry(RarItem* item) {
  const FileBlock& h = item->header;
  Entry& e = item->entry;
  e.name = h.name;
  e.name_encoding = h.name_encoding;
  e.mtime = h.mtime;
  e.size = h.size_unknown || h.unpacked_size > static_cast<uint64_t>(INT64_MAX)
               ? -1
               : static_cast<int64_t>(h.unpacked_size);
  const bool unix = h.host == HostSystem::kUnix;
  const uint32_t unix_type = unix ? h.attributes & kUnixTypeMask : 0;
  if (unix) {
    e.mode = h.attributes & 07777;
  } else if ((h.attributes & kWindowsReadOnly) && !h.directory) {
    e.mode = 0444;
  }
  e.type = EntryType::kFile;
  item->data = ItemData::kFile;
  if (h.directory || unix_type == kUnixDirectory) {
    e.type = EntryType::kDirectory;
    e.size = 0;
    item->data = ItemData::kNone;
    return;
  }
  if (h.redirect != Redirect::kNone) {
    item->data = ItemData::kNone;
    e.link_target = h.redirect_target;
    // A name and its target share one encoding in an Entry: UTF-8 when both are.
    if (!IsValidUtf8(e.link_target)) e.name_encoding = NameEncoding::kNative;
    switch (h.redirect) {
      case Redirect::kHardlink:
        e.type = EntryType::kHardlink;
        break;
      case Redirect::kFileCopy:
        e.type = EntryType::kFileCopy;
        break;
      default:  // Unix and Windows symlinks, junctions: the writer judges every target
        e.type = EntryType::kSymlink;
        break;
    }
    if (e.type != EntryType::kFileCopy) e.size = 0;
    return;
  }
  if (unix_type == kUnixSymlink) {
    e.type = EntryType::kSymlink;
    item->data = ItemData::kSymlinkTarget;
  } else if (unix_type != 0 && unix_type != kUnixRegular) {
    e.type = EntryType::kOther;  // devices, FIFOs, sockets
    item->data = ItemData::kNone;
  }
}

RarItem NewItem(const ScannedFile& f, size_t volume) {
  RarItem item;
  item.header = f.file;
  item.pieces.push_back({volume, f.data_offset, f.file.packed_size, false, {}});
  if (f.header_damaged) {
    item.listed = false;
    item.data_fault = ResultCode::kDamaged;
  }
  DescribeEntry(&item);
  return item;
}

// A piece that goes on in the next volume: its header's checksum is of its packed bytes.
// RAR 1.5 and 2.0 wrote no such checksum (nor does a header of all ones).
void MarkPackedCheck(RarFormat format, DataPiece* piece, const FileBlock& header) {
  piece->packed_hash = header.hash;
  piece->check_packed =
      header.hash.type != HashType::kNone &&
      (format == RarFormat::kRar5 ||
       (format == RarFormat::kRar15 && header.version >= 20 && header.hash.crc != 0xFFFFFFFF));
}

void JoinPieces(const std::vector<VolumeScan>& scans, ResultCode set_end, RarArchive* archive) {
  std::vector<RarItem>& items = archive->items;
  size_t open = kNoItem;  // the item whose next piece is due
  auto close_open = [&](ResultCode fault) {
    if (open != kNoItem && items[open].data_fault == ResultCode::kOk) {
      items[open].data_fault = fault;
    }
    open = kNoItem;
  };
  for (size_t v = 0; v < scans.size(); ++v) {
    for (const ScannedFile& f : scans[v].files) {
      if (f.header_damaged) {
        close_open(ResultCode::kDamaged);
        items.push_back(NewItem(f, v));
        continue;
      }
      if (f.file.split_before) {
        if (open != kNoItem && items[open].header.name == f.file.name) {
          RarItem& item = items[open];
          MarkPackedCheck(archive->format, &item.pieces.back(), item.header);
          item.pieces.push_back({v, f.data_offset, f.file.packed_size, false, {}});
          item.header.hash = f.file.hash;
          item.header.split_after = f.file.split_after;
          if (!f.file.split_after) open = kNoItem;
        } else {
          // The rest of a file whose beginning is not in this set: nothing to extract.
          close_open(ResultCode::kDamaged);
        }
        continue;
      }
      close_open(ResultCode::kDamaged);
      items.push_back(NewItem(f, v));
      if (f.file.split_after) open = items.size() - 1;
    }
    // A volume that ends in the middle of a file without going on cuts that file short.
    if (v + 1 < scans.size() && scans[v].how != ScanEnd::kEndBlock &&
        scans[v].how != ScanEnd::kEndOfFile) {
      close_open(ResultCode::kDamaged);
    }
  }
  close_open(set_end == ResultCode::kOk ? ResultCode::kDamaged : set_end);
  // Data cut off by the end of the last volume.
  for (RarItem& item : items) {
    const DataPiece& last = item.pieces.back();
    const int64_t end = last.offset + static_cast<int64_t>(std::min(last.size, kHugeSize));
    if (end > archive->files.size(last.volume) && item.data_fault == ResultCode::kOk) {
      item.data_fault = ResultCode::kDamaged;
    }
  }
}

void AssignStreams(RarArchive* archive) {
  std::vector<RarItem>& items = archive->items;
  std::vector<uint64_t> total(items.size(), 0);
  std::vector<uint64_t> declared(items.size(), 0);
  size_t previous = kNoItem;
  for (size_t i = 0; i < items.size(); ++i) {
    RarItem& item = items[i];
    item.compressed = item.data != ItemData::kNone && item.header.method != 0;
    if (!item.compressed) continue;
    // RAR 1.5 and earlier have no solid flag per file, only the archive's.
    const bool old = archive->format == RarFormat::kRar14 ||
                     (archive->format == RarFormat::kRar15 && item.header.version <= 15);
    const bool solid = old ? archive->solid : item.header.solid;
    if (solid && previous != kNoItem) {
      item.stream_previous = previous;
      item.stream_head = items[previous].stream_head;
    } else {
      item.stream_head = i;
    }
    previous = i;
    const size_t head = item.stream_head;
    const uint64_t size = item.header.size_unknown ? kHugeSize : item.header.unpacked_size;
    total[head] = std::min(kHugeSize, total[head] + std::min(size, kHugeSize));
    declared[head] = std::max(declared[head], item.header.window_bytes);
  }
  // The window never needs to hold more than the stream it decodes: a 4 GB dictionary
  // declared for a small file costs no more than the file.
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].compressed && items[i].stream_head == i) {
      items[i].window_bytes =
          std::min(declared[i], std::max(kSmallestWindow, PowerOfTwoAtLeast(total[i])));
    }
  }
}

void ChooseCodePage(RarArchive* archive) {
  std::vector<std::string_view> names;
  for (const RarItem& item : archive->items) {
    if (item.listed && item.entry.name_encoding == NameEncoding::kNative) {
      names.push_back(item.entry.name);
    }
  }
  if (names.empty()) return;
  const int code_page = ChooseLegacyCodePage(names);
  for (RarItem& item : archive->items) {
    if (item.entry.name_encoding == NameEncoding::kNative) item.entry.code_page = code_page;
  }
}

}  // namespace

void BuildItems(const std::vector<VolumeScan>& scans, ResultCode set_end, RarArchive* archive) {
  JoinPieces(scans, set_end, archive);
  AssignStreams(archive);
  ChooseCodePage(archive);
  bool damaged = false;
  for (const VolumeScan& scan : scans) {
    damaged =
        damaged || scan.damaged || scan.how == ScanEnd::kCutShort || scan.how == ScanEnd::kBroken;
    for (const ScannedFile& f : scan.files) damaged = damaged || f.header_damaged;
  }
  if (set_end == ResultCode::kMissingVolume || set_end == ResultCode::kEncrypted) {
    archive->end_status = Status::Fatal(set_end, set_end == ResultCode::kEncrypted
                                                     ? "a volume's headers could not be decrypted"
                                                     : "a volume of the set is missing");
  } else if (damaged || set_end == ResultCode::kDamaged) {
    archive->end_status =
        Status::Fatal(ResultCode::kDamaged, "the archive is damaged or cut short");
  }
}

}  // namespace engine::rar
