#include "engine/zip/zip_test_entries.h"

#include <fstream>
#include <iterator>

#include "engine/byte_order.h"

namespace zip_test {
namespace {

constexpr uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;

}  // namespace

std::vector<Entry> ReadEntries(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string s(std::istreambuf_iterator<char>(file), {});
  std::vector<Entry> entries;
  if (s.size() < 22) return entries;

  // The end record sits in the last 64 KiB + 22 bytes (its comment is at most 64 KiB).
  size_t end = std::string::npos;
  const size_t lowest = s.size() > 0x10000 + 22 ? s.size() - 0x10000 - 22 : 0;
  for (size_t p = s.size() - 22 + 1; p-- > lowest;) {
    if (engine::Le32(s.data() + p) == kEndOfCentralDirectory) {
      end = p;
      break;
    }
  }
  if (end == std::string::npos) return entries;
  const uint16_t count = engine::Le16(s.data() + end + 10);
  size_t p = engine::Le32(s.data() + end + 16);

  for (int i = 0; i < count; ++i) {
    if (p + 46 > s.size() || engine::Le32(s.data() + p) != kCentralHeader) break;
    const char* h = s.data() + p;
    Entry e;
    e.flags = engine::Le16(h + 8);
    e.method = engine::Le16(h + 10);
    e.crc32 = engine::Le32(h + 16);
    const uint32_t packed_size = engine::Le32(h + 20);
    e.unpacked_size = engine::Le32(h + 24);
    const size_t name_length = engine::Le16(h + 28);
    const size_t extra_length = engine::Le16(h + 30);
    const size_t comment_length = engine::Le16(h + 32);
    const size_t local = engine::Le32(h + 42);
    if (p + 46 + name_length > s.size()) break;
    e.name = s.substr(p + 46, name_length);
    p += 46 + name_length + extra_length + comment_length;

    if (local + 30 > s.size() || engine::Le32(s.data() + local) != kLocalHeader) break;
    const size_t data =
        local + 30 + engine::Le16(s.data() + local + 26) + engine::Le16(s.data() + local + 28);
    if (data + packed_size > s.size()) break;
    e.packed = s.substr(data, packed_size);
    entries.push_back(std::move(e));
  }
  return entries;
}

const Entry* FindByMethod(const std::vector<Entry>& entries, uint16_t method) {
  for (const Entry& e : entries) {
    if (e.method == method) return &e;
  }
  return nullptr;
}

std::string WriteSingleEntryZip(const Entry& entry) {
  auto common = [&](std::string* out) {
    engine::PutLe(out, 20, 2);  // version needed
    engine::PutLe(out, entry.flags, 2);
    engine::PutLe(out, entry.method, 2);
    engine::PutLe(out, 0, 4);  // time and date
    engine::PutLe(out, entry.crc32, 4);
    engine::PutLe(out, entry.packed.size(), 4);
    engine::PutLe(out, entry.unpacked_size, 4);
    engine::PutLe(out, entry.name.size(), 2);
    engine::PutLe(out, 0, 2);  // extra field
  };
  std::string zip;
  engine::PutLe(&zip, kLocalHeader, 4);
  common(&zip);
  zip += entry.name + entry.packed;
  const size_t central = zip.size();
  engine::PutLe(&zip, kCentralHeader, 4);
  engine::PutLe(&zip, 20, 2);  // made by
  common(&zip);
  engine::PutLe(&zip, 0, 2);  // comment
  engine::PutLe(&zip, 0, 2);  // disk
  engine::PutLe(&zip, 0, 2);  // internal attributes
  engine::PutLe(&zip, 0, 4);  // external attributes
  engine::PutLe(&zip, 0, 4);  // local header offset
  zip += entry.name;
  const size_t central_size = zip.size() - central;
  engine::PutLe(&zip, kEndOfCentralDirectory, 4);
  engine::PutLe(&zip, 0, 4);  // disk numbers
  engine::PutLe(&zip, 1, 2);
  engine::PutLe(&zip, 1, 2);
  engine::PutLe(&zip, central_size, 4);
  engine::PutLe(&zip, central, 4);
  engine::PutLe(&zip, 0, 2);  // comment
  return zip;
}

}  // namespace zip_test
