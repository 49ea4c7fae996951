#include "cab_test_cabinets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "engine/byte_order.h"
#include "engine/cab/cab_format.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace cab_test {
namespace {

constexpr size_t kBlock = 32768;

// XOR of the little-endian words of `p`; the last one to three bytes form a word of their
// own, the first of them highest.
uint32_t Sum(const uint8_t* p, size_t n, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) sum ^= engine::Le32(p + i);
  uint32_t tail = 0;
  for (; i < n; ++i) tail = tail << 8 | p[i];
  return sum ^ tail;
}

void Put(std::string* out, uint64_t value, int bytes) { engine::PutLe(out, value, bytes); }

}  // namespace

uint32_t BlockChecksum(const std::string& data, uint16_t packed, uint16_t unpacked) {
  std::string sizes;
  Put(&sizes, packed, 2);
  Put(&sizes, unpacked, 2);
  const uint32_t of_data = Sum(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0);
  return Sum(reinterpret_cast<const uint8_t*>(sizes.data()), 4, of_data);
}

std::string CabHeader(const CabHeaderFields& fields) {
  std::string cab = "MSCF";
  Put(&cab, 0, 4);
  Put(&cab, fields.cabinet_size, 4);
  Put(&cab, 0, 4);
  Put(&cab, fields.files_at, 4);
  Put(&cab, 0, 4);
  cab += "\x03\x01";
  Put(&cab, fields.folders, 2);
  Put(&cab, fields.files, 2);
  Put(&cab, fields.flags, 2);
  Put(&cab, fields.set_id, 2);
  Put(&cab, fields.index, 2);
  return cab;
}

std::string BuildCabinet(const std::vector<CabMember>& members, const CabLayout& layout) {
  std::string folder_data;
  for (const CabMember& m : members) folder_data += m.data;
  std::string blocks;
  size_t block_count = 0;
  for (size_t at = 0; at < folder_data.size(); at += kBlock, ++block_count) {
    const std::string piece = folder_data.substr(at, kBlock);
    const auto size = static_cast<uint16_t>(piece.size());
    // libmspack leaves reserved bytes out of the checksum and libarchive does not read such
    // blocks at all: a block with them carries none (0 means "not checked").
    Put(&blocks, layout.data_reserve == 0 ? BlockChecksum(piece, size, size) : 0, 4);
    Put(&blocks, size, 2);
    Put(&blocks, size, 2);
    blocks += std::string(layout.data_reserve, '\0') + piece;
  }

  std::string reserve;
  if (layout.reserve_flag) {
    Put(&reserve, layout.header_reserve, 2);
    reserve += static_cast<char>(layout.folder_reserve);
    reserve += static_cast<char>(layout.data_reserve);
    reserve += std::string(layout.header_reserve, '\0');
  }
  std::string files;
  uint32_t offset = 0;
  for (const CabMember& m : members) {
    Put(&files, m.data.size(), 4);
    Put(&files, offset, 4);
    Put(&files, 0, 2);       // the folder
    Put(&files, 0x5A3A, 2);  // 2025-01-26
    Put(&files, 0x6000, 2);  // 12:00
    Put(&files, m.attribs, 2);
    files += m.name + '\0';
    offset += static_cast<uint32_t>(m.data.size());
  }
  const size_t folder_at = 36 + reserve.size();
  const size_t files_at = folder_at + 8 + layout.folder_reserve;
  const size_t data_at = files_at + files.size();
  const size_t total = data_at + blocks.size();

  std::string cab = CabHeader({.cabinet_size = total,
                               .files_at = files_at,
                               .folders = 1,
                               .files = members.size(),
                               .flags = static_cast<uint16_t>(layout.reserve_flag ? 0x4 : 0),
                               .set_id = 0x1234});
  cab += reserve;
  Put(&cab, data_at, 4);
  Put(&cab, block_count, 2);
  Put(&cab, 0, 2);  // stored
  cab += std::string(layout.folder_reserve, '\0');
  return cab + files + blocks;
}

CabRead ReadCabFile(const std::string& path) {
  CabRead result;
  std::unique_ptr<engine::EntrySource> source = engine::OpenCabArchive(path, &result.open);
  if (source == nullptr) return result;
  engine::Entry e;
  while (source->Next(&e, &result.end)) {
    Extracted x;
    x.entry = e;
    char buf[4096];
    size_t got = 0;
    engine::Status s;
    while ((s = source->Read(buf, sizeof buf, &got)).ok() && got > 0) x.data.append(buf, got);
    x.code = s.code;
    result.members.push_back(std::move(x));
  }
  return result;
}

CabRead ReadCabBytes(const std::string& bytes) {
  dizor_test::ScopedTempDir dir;
  EXPECT_TRUE(dizor_test::WriteFile(dir.Sub("t.cab"), bytes));
  return ReadCabFile(dir.Sub("t.cab"));
}

}  // namespace cab_test
