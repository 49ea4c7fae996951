#include "engine/rar/rar_headers.h"

#include "engine/byte_order.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace engine {
namespace {

// Self-extracting stubs are well under this; libarchive searches a similar distance.
constexpr size_t kMarkerSearch = 4 << 20;
constexpr unsigned char kRar4Marker[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr unsigned char kRar5Marker[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

class File {
 public:
  explicit File(const std::string& path) : f_(std::fopen(path.c_str(), "rbe")) {}
  ~File() {
    if (f_ != nullptr) std::fclose(f_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool ok() const { return f_ != nullptr; }
  bool ReadAt(int64_t offset, void* buf, size_t size) {
    return fseeko(f_, offset, SEEK_SET) == 0 && std::fread(buf, 1, size, f_) == size;
  }
  size_t ReadSome(void* buf, size_t size) { return std::fread(buf, 1, size, f_); }
  int64_t Size() {
    if (fseeko(f_, 0, SEEK_END) != 0) return -1;
    return ftello(f_);
  }

 private:
  FILE* f_;
};

void ScanRar4(File& file, int64_t offset, RarScan* scan) {
  offset += sizeof(kRar4Marker);
  bool last_split_after = false;
  bool end_says_more = false;
  bool end_seen = false;
  for (int blocks = 0; blocks < 1000000; ++blocks) {
    unsigned char h[32];
    if (!file.ReadAt(offset, h, 7)) break;
    unsigned type = h[2];
    uint32_t flags = Le16(h + 3);
    uint32_t head_size = Le16(h + 5);
    if (head_size < 7) break;
    uint64_t data_size = 0;
    if (type == 0x73) {  // main header
      scan->volume = (flags & 0x0001) != 0;
      scan->solid = (flags & 0x0008) != 0;
      if (flags & 0x0080) {
        scan->headers_encrypted = true;
        return;
      }
    } else if (type == 0x74 || type == 0x7A) {  // file or service header
      if (!file.ReadAt(offset + 7, h + 7, 25 > head_size - 7 ? head_size - 7 : 25)) break;
      data_size = Le32(h + 7);
      if ((flags & 0x0100) && head_size >= 32 + 4) {
        unsigned char high[4];
        if (file.ReadAt(offset + 32, high, 4)) data_size |= static_cast<uint64_t>(Le32(high)) << 32;
      }
      if (type == 0x74) {
        RarFileInfo info;
        info.unpack_version = h[24];
        info.stored = h[25] == 0x30;
        info.encrypted = (flags & 0x0004) != 0;
        info.split_before = (flags & 0x0001) != 0;
        info.split_after = (flags & 0x0002) != 0;
        scan->files.push_back(info);
        last_split_after = info.split_after;
      }
    } else if (type == 0x7B) {  // end of archive
      end_says_more = (flags & 0x0001) != 0;
      end_seen = true;
      break;
    } else if (flags & 0x8000) {
      unsigned char add[4];
      if (!file.ReadAt(offset + 7, add, 4)) break;
      data_size = Le32(add);
    }
    offset += head_size + static_cast<int64_t>(data_size);
  }
  scan->ends_set = !(end_says_more || last_split_after);
  // RAR before 2.9 writes no end record; its archives end right after the last block.
  scan->cut_short = !end_seen && offset != file.Size();
}

// RAR5 variable-length integer: 7 bits per byte, high bit set on all but the last.
bool ReadVint(const unsigned char* p, size_t size, size_t* pos, uint64_t* value) {
  *value = 0;
  for (int shift = 0; shift < 64 && *pos < size; shift += 7) {
    unsigned char b = p[(*pos)++];
    *value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

void ScanRar5(File& file, int64_t offset, RarScan* scan) {
  offset += sizeof(kRar5Marker);
  bool last_split_after = false;
  bool end_says_more = false;
  bool end_seen = false;
  std::unique_ptr<unsigned char[]> header(new unsigned char[1 << 16]);
  for (int blocks = 0; blocks < 1000000; ++blocks) {
    unsigned char start[7];
    if (!file.ReadAt(offset, start, sizeof(start))) break;
    size_t pos = 4;
    uint64_t head_size = 0;
    if (!ReadVint(start, sizeof(start), &pos, &head_size) || head_size == 0 ||
        head_size > (1 << 16)) {
      break;
    }
    size_t head_start = pos;
    unsigned char* h = header.get();
    if (!file.ReadAt(offset + static_cast<int64_t>(head_start), h, head_size)) break;
    size_t p = 0;
    uint64_t type = 0, flags = 0, extra_size = 0, data_size = 0;
    if (!ReadVint(h, head_size, &p, &type) || !ReadVint(h, head_size, &p, &flags)) break;
    if ((flags & 0x1) && !ReadVint(h, head_size, &p, &extra_size)) break;
    if ((flags & 0x2) && !ReadVint(h, head_size, &p, &data_size)) break;
    if (type == 1) {  // main archive header
      uint64_t archive_flags = 0;
      ReadVint(h, head_size, &p, &archive_flags);
      scan->volume = (archive_flags & 0x1) != 0;
    } else if (type == 2) {  // file header
      RarFileInfo info;
      uint64_t file_flags = 0, unpacked = 0, attributes = 0, compression = 0;
      ReadVint(h, head_size, &p, &file_flags);
      ReadVint(h, head_size, &p, &unpacked);
      ReadVint(h, head_size, &p, &attributes);
      if (file_flags & 0x2) p += 4;
      if (file_flags & 0x4) p += 4;
      ReadVint(h, head_size, &p, &compression);
      info.unpack_version = 50;
      info.stored = ((compression >> 7) & 0x7) == 0;
      info.split_before = (flags & 0x8) != 0;
      info.split_after = (flags & 0x10) != 0;
      // Extra records sit at the end of the header; type 1 is file encryption.
      if (extra_size > 0 && extra_size <= head_size) {
        size_t q = static_cast<size_t>(head_size - extra_size);
        while (q < head_size) {
          uint64_t record_size = 0, record_type = 0;
          size_t record_start = q;
          if (!ReadVint(h, head_size, &q, &record_size)) break;
          size_t after_size = q;
          if (!ReadVint(h, head_size, &q, &record_type)) break;
          if (record_type == 1) info.encrypted = true;
          q = after_size + static_cast<size_t>(record_size);
          if (q <= record_start) break;
        }
      }
      scan->files.push_back(info);
      last_split_after = info.split_after;
    } else if (type == 4) {  // archive encryption header: the rest is ciphertext
      scan->headers_encrypted = true;
      return;
    } else if (type == 5) {  // end of archive
      uint64_t end_flags = 0;
      ReadVint(h, head_size, &p, &end_flags);
      end_says_more = (end_flags & 0x1) != 0;
      end_seen = true;
      break;
    }
    offset += static_cast<int64_t>(head_start + head_size + data_size);
  }
  scan->ends_set = !(end_says_more || last_split_after);
  scan->cut_short = !end_seen && offset != file.Size();
}

}  // namespace

int64_t FindRarMarker(const unsigned char* data, size_t size, bool* rar5) {
  for (size_t i = 0; i + sizeof(kRar5Marker) <= size; ++i) {
    if (data[i] != 'R') continue;
    if (std::memcmp(data + i, kRar5Marker, sizeof(kRar5Marker)) == 0) {
      *rar5 = true;
      return static_cast<int64_t>(i);
    }
    if (std::memcmp(data + i, kRar4Marker, sizeof(kRar4Marker)) == 0) {
      *rar5 = false;
      return static_cast<int64_t>(i);
    }
  }
  return -1;
}

bool ScanRar(const std::string& path, RarScan* scan) {
  *scan = RarScan{};
  File file(path);
  if (!file.ok()) return false;
  std::unique_ptr<unsigned char[]> head(new unsigned char[kMarkerSearch]);
  size_t got = file.ReadSome(head.get(), 16);
  if (got < sizeof(kRar4Marker)) return false;
  bool rar5 = false;
  int64_t offset;
  // Only a self-extracting program (an executable stub) may stand before the marker, so
  // only then is the search worth reading megabytes for.
  bool executable = (head[0] == 'M' && head[1] == 'Z') || (got >= 4 && std::memcmp(head.get(),
                                                                                   "\x7F"
                                                                                   "ELF",
                                                                                   4) == 0);
  if (executable) got += file.ReadSome(head.get() + got, kMarkerSearch - got);
  if (std::memcmp(head.get(), kRar5Marker, sizeof(kRar5Marker)) == 0) {
    rar5 = true;
    offset = 0;
  } else if (std::memcmp(head.get(), kRar4Marker, sizeof(kRar4Marker)) == 0) {
    offset = 0;
  } else if (executable) {
    offset = FindRarMarker(head.get(), got, &rar5);
  } else {
    return false;
  }
  if (offset < 0) return false;
  scan->is_rar = true;
  scan->rar5 = rar5;
  if (rar5) {
    ScanRar5(file, offset, scan);
  } else {
    ScanRar4(file, offset, scan);
  }
  return true;
}

}  // namespace engine
