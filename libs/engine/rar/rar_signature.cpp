#include "engine/rar/rar_signature.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine::rar {
namespace {

constexpr size_t kChunk = size_t{1} << 20;
constexpr size_t kMaxMainHeader = size_t{1} << 16;  // main headers are a few dozen bytes

bool ReadHeader(const VolumeSet& files, size_t volume, int64_t pos, bool rar5,
                std::vector<uint8_t>* header) {
  uint8_t start[7];
  if (!files.ReadFully(volume, pos, start, sizeof(start))) return false;
  const size_t size = rar5 ? Rar5HeaderSize(start, sizeof(start)) : Rar4HeaderSize(start, 7);
  if (size == 0 || size > kMaxMainHeader) return false;
  header->resize(size);
  return files.ReadFully(volume, pos, header->data(), size);
}

// The block after a marker found inside other data must be the archive's own header.
bool MainHeaderChecksOut(const VolumeSet& files, size_t volume, int64_t pos, bool rar5) {
  std::vector<uint8_t> header;
  Block block;
  if (!ReadHeader(files, volume, pos, rar5, &header)) return false;
  if (rar5) {
    return ParseRar5Block(header.data(), header.size(), &block) && block.crc_ok &&
           (block.kind == BlockKind::kMain || block.kind == BlockKind::kCrypt);
  }
  return ParseRar4Block(header.data(), header.size(), &block) && block.crc_ok &&
         block.kind == BlockKind::kMain;
}

// RAR 1.3/1.4 headers carry no checksum: the main header and the first file header (or
// the end of the file right after the main header) must at least be consistent.
bool Rar14LooksRight(const VolumeSet& files, size_t volume, int64_t pos) {
  uint8_t main[kRar14MainSize];
  Block block;
  size_t main_size = 0;
  if (!files.ReadFully(volume, pos, main, sizeof(main)) ||
      !ParseRar14Main(main, sizeof(main), &block, &main_size)) {
    return false;
  }
  uint8_t file[kRar14FileFixedSize];
  const int64_t got =
      files.ReadAt(volume, pos + static_cast<int64_t>(main_size), file, sizeof(file));
  if (got == 0) return true;  // an archive without files
  if (got != static_cast<int64_t>(sizeof(file))) return false;
  const size_t file_size = Rar14FileHeaderSize(file);
  return file_size >= kRar14FileFixedSize + file[19];
}

bool Matches(const uint8_t* p, size_t have, const uint8_t* marker, size_t size) {
  return have >= size && std::memcmp(p, marker, size) == 0;
}

}  // namespace

bool FindArchiveStart(const VolumeSet& files, size_t volume, ArchiveStart* start) {
  std::vector<uint8_t> chunk(kChunk + sizeof(kRar5Marker));
  int64_t got = files.ReadAt(volume, 0, chunk.data(), chunk.size());
  if (got < static_cast<int64_t>(sizeof(kRar14Marker))) return false;
  size_t have = static_cast<size_t>(got);
  if (Matches(chunk.data(), have, kRar5Marker, sizeof(kRar5Marker))) {
    *start = {RarFormat::kRar5, 0, sizeof(kRar5Marker)};
    return true;
  }
  if (Matches(chunk.data(), have, kRar15Marker, sizeof(kRar15Marker))) {
    *start = {RarFormat::kRar15, 0, sizeof(kRar15Marker)};
    return true;
  }
  if (Matches(chunk.data(), have, kRar14Marker, sizeof(kRar14Marker)) &&
      Rar14LooksRight(files, volume, 0)) {
    *start = {RarFormat::kRar14, 0, 0};
    return true;
  }
  // RAR 1.3/1.4 self-extractors were MS-DOS programs; its marker has no checksum behind it,
  // so it is looked for behind nothing else.
  const bool dos_program = chunk[0] == 'M' && chunk[1] == 'Z';
  for (int64_t base = 0;;) {
    const bool last_chunk = have < chunk.size();
    const size_t limit =
        std::min(last_chunk ? have : kChunk, static_cast<size_t>(kMarkerSearchBytes - base));
    for (size_t i = base == 0 ? 1 : 0; i < limit;) {
      const void* hit = std::memchr(chunk.data() + i, 'R', limit - i);
      if (hit == nullptr) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - chunk.data());
      const uint8_t* p = chunk.data() + i;
      const int64_t at = base + static_cast<int64_t>(i);
      const size_t rest = have - i;
      if (Matches(p, rest, kRar5Marker, sizeof(kRar5Marker)) &&
          MainHeaderChecksOut(files, volume, at + 8, true)) {
        *start = {RarFormat::kRar5, at, at + 8};
        return true;
      }
      if (Matches(p, rest, kRar15Marker, sizeof(kRar15Marker)) &&
          MainHeaderChecksOut(files, volume, at + 7, false)) {
        *start = {RarFormat::kRar15, at, at + 7};
        return true;
      }
      if (dos_program && Matches(p, rest, kRar14Marker, sizeof(kRar14Marker)) &&
          Rar14LooksRight(files, volume, at)) {
        *start = {RarFormat::kRar14, at, at};
        return true;
      }
      ++i;
    }
    // Each chunk reads a marker's length past its end, so no marker is cut in two.
    base += static_cast<int64_t>(kChunk);
    if (last_chunk || base >= kMarkerSearchBytes) break;
    got = files.ReadAt(volume, base, chunk.data(), chunk.size());
    if (got <= 0) break;
    have = static_cast<size_t>(got);
  }
  return false;
}

}  // namespace engine::rar
