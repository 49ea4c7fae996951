#include "lha_test_archives.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/lha/lha_format.h"
#include "engine/lha/lha_header.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace lha_test {

std::string Le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

uint16_t Crc16(const std::string& data) {
  return engine::lha::Crc16(0, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

std::string Level01(int level, const std::string& method, const std::string& name, uint32_t packed,
                    uint32_t original, const Extensions& ext, char os, uint16_t crc) {
  std::string ext_bytes;
  for (size_t i = 0; i < ext.size(); ++i) {
    ext_bytes += static_cast<char>(ext[i].first) + ext[i].second;
    ext_bytes += Le16(i + 1 < ext.size() ? static_cast<uint32_t>(ext[i + 1].second.size() + 3) : 0);
  }
  std::string body = method +
                     Le32(packed + static_cast<uint32_t>(level == 1 ? ext_bytes.size() : 0)) +
                     Le32(original) + Le32(0x3C2E5A00) + static_cast<char>(0x20) +
                     static_cast<char>(level) + static_cast<char>(name.size()) + name + Le16(crc);
  if (level == 1) {
    body += os;
    body += Le16(ext.empty() ? 0 : static_cast<uint32_t>(ext[0].second.size() + 3));
  }
  uint8_t sum = 0;
  for (char c : body) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return static_cast<char>(body.size()) + std::string(1, static_cast<char>(sum)) + body + ext_bytes;
}

std::string Level2(const std::string& method, uint32_t packed, Extensions ext, char os,
                   bool with_crc) {
  if (with_crc) ext.insert(ext.begin(), {0x00, std::string(2, '\0')});
  std::string ext_bytes;
  for (size_t i = 0; i < ext.size(); ++i) {
    ext_bytes += static_cast<char>(ext[i].first) + ext[i].second;
    ext_bytes += Le16(i + 1 < ext.size() ? static_cast<uint32_t>(ext[i + 1].second.size() + 3) : 0);
  }
  uint32_t total = static_cast<uint32_t>(26 + ext_bytes.size());
  std::string h = Le16(total) + method + Le32(packed) + Le32(packed) + Le32(1600000000) +
                  static_cast<char>(0x20) + static_cast<char>(2) + Le16(0xBEEF) + os +
                  Le16(ext.empty() ? 0 : static_cast<uint32_t>(ext[0].second.size() + 3)) +
                  ext_bytes;
  if (with_crc) {
    uint16_t crc = Crc16(h);
    h.replace(27, 2, Le16(crc));  // the data of the first extended header
  }
  return h;
}

std::string Stored(const std::string& name, const std::string& data, const char* method, int crc) {
  return Level01(0, method, name, static_cast<uint32_t>(data.size()),
                 static_cast<uint32_t>(data.size()), {}, 'M',
                 crc < 0 ? Crc16(data) : static_cast<uint16_t>(crc)) +
         data;
}

std::string StoredLevel2(const std::string& dir, const std::string& file, const std::string& data) {
  Extensions ext = {{0x01, file}};
  if (!dir.empty()) ext.push_back({0x02, dir});
  std::string h = Level2("-lh0-", static_cast<uint32_t>(data.size()), ext, 'M');
  // The data's CRC sits in the fixed part, which the header CRC covers: set it, then redo
  // the header CRC.
  h.replace(21, 2, Le16(Crc16(data)));
  h.replace(27, 2, Le16(0));
  h.replace(27, 2, Le16(Crc16(h)));
  return h + data;
}

ReadResult ReadLhaFile(const std::string& path) {
  ReadResult result;
  std::unique_ptr<engine::EntrySource> source = engine::OpenLhaArchive(path, &result.open);
  if (source == nullptr) return result;
  engine::Entry e;
  while (source->Next(&e, &result.end)) {
    Member m;
    m.name = e.name;
    m.entry = e;
    char buf[3];  // small, so a member takes several reads
    size_t got = 0;
    engine::Status s;
    while ((s = source->Read(buf, sizeof buf, &got)).ok() && got > 0) m.data.append(buf, got);
    m.code = s.code;
    result.members.push_back(std::move(m));
  }
  return result;
}

ReadResult ReadLhaBytes(const std::string& bytes) {
  dizor_test::ScopedTempDir dir;
  std::string path = dir.Sub("a.lzh");
  EXPECT_TRUE(dizor_test::WriteFile(path, bytes));
  return ReadLhaFile(path);
}

}  // namespace lha_test
