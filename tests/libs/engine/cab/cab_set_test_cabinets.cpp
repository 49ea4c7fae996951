#include "cab_set_test_cabinets.h"

#include <gtest/gtest.h>

#include "engine/byte_order.h"

namespace cab_test {
namespace {

constexpr uint16_t kContinuedFromPrevious = 0xFFFD;
constexpr uint16_t kContinuedToNext = 0xFFFE;
constexpr uint16_t kContinuedBoth = 0xFFFF;

void Put(std::string* out, uint64_t value, int bytes) { engine::PutLe(out, value, bytes); }

struct Block {
  std::string data;
  uint16_t unpacked;  // 0 for the first part of a block split between two cabinets
};

struct Folder {
  std::vector<Block> blocks;
};

std::string Joined(const std::vector<CabMember>& members) {
  std::string data;
  for (const CabMember& m : members) data += m.data;
  return data;
}

std::vector<Block> WholeBlocks(const std::string& data, size_t block_size) {
  std::vector<Block> blocks;
  for (size_t at = 0; at < data.size(); at += block_size) {
    const std::string piece = data.substr(at, block_size);
    blocks.push_back({piece, static_cast<uint16_t>(piece.size())});
  }
  return blocks;
}

// The file records of `members`, one after the other in one folder.
void PutFiles(const std::vector<CabMember>& members, uint16_t folder, std::string* records) {
  uint32_t offset = 0;
  for (const CabMember& m : members) {
    Put(records, m.data.size(), 4);
    Put(records, offset, 4);
    Put(records, folder, 2);
    Put(records, 0x5A3A, 2);  // 2025-01-26
    Put(records, 0x6000, 2);  // 12:00
    Put(records, m.attribs, 2);
    *records += m.name + '\0';
    offset += static_cast<uint32_t>(m.data.size());
  }
}

std::string BuildOne(const SetSpec& spec, size_t index, const std::vector<Folder>& folders,
                     const std::string& records, size_t file_count) {
  const size_t last = spec.names.size() - 1;
  uint16_t flags = 0;
  std::string links;
  if (index > 0) {
    flags |= 0x1;
    links += spec.names[index - 1] + '\0' + "disk " + std::to_string(index) + '\0';
  }
  if (index < last) {
    flags |= 0x2;
    links += spec.names[index + 1] + '\0' + "disk " + std::to_string(index + 2) + '\0';
  }
  const size_t folders_at = 36 + links.size();
  const size_t files_at = folders_at + 8 * folders.size();
  const size_t data_at = files_at + records.size();
  std::string table, data;
  for (const Folder& folder : folders) {
    Put(&table, data_at + data.size(), 4);
    Put(&table, folder.blocks.size(), 2);
    Put(&table, 0, 2);  // stored
    for (const Block& b : folder.blocks) {
      const auto packed = static_cast<uint16_t>(b.data.size());
      Put(&data, BlockChecksum(b.data, packed, b.unpacked), 4);
      Put(&data, packed, 2);
      Put(&data, b.unpacked, 2);
      data += b.data;
    }
  }
  const std::string cab = CabHeader({.cabinet_size = data_at + data.size(),
                                     .files_at = files_at,
                                     .folders = folders.size(),
                                     .files = file_count,
                                     .flags = flags,
                                     .set_id = spec.set_id,
                                     .index = static_cast<uint16_t>(index)});
  return cab + links + table + records + data;
}

}  // namespace

std::vector<CabMember> SetMembers(const SetSpec& spec) {
  std::vector<CabMember> all = spec.head;
  all.insert(all.end(), spec.spread.begin(), spec.spread.end());
  all.insert(all.end(), spec.tail.begin(), spec.tail.end());
  return all;
}

std::vector<std::string> BuildCabinetSet(const SetSpec& spec) {
  const size_t count = spec.names.size();
  const std::vector<Block> spread = WholeBlocks(Joined(spec.spread), spec.block_size);
  EXPECT_GE(count, 2u);
  EXPECT_GE(spread.size(), count);
  if (count < 2 || spread.size() < count) return {};
  // Cabinet k ends inside block split[k + 1], which the next one finishes.
  std::vector<size_t> split(count + 1, 0);
  for (size_t k = 1; k < count; ++k) split[k] = k * spread.size() / count;
  split[count] = spread.size();

  std::vector<std::string> cabinets;
  for (size_t k = 0; k < count; ++k) {
    std::vector<Folder> folders;
    std::string records;
    size_t files = 0;
    if (k == 0 && !spec.head.empty()) {
      folders.push_back({WholeBlocks(Joined(spec.head), 32768)});
      PutFiles(spec.head, 0, &records);
      files += spec.head.size();
    }
    Folder middle;
    if (k > 0) {
      const Block& b = spread[split[k]];
      middle.blocks.push_back({b.data.substr(b.data.size() / 2), b.unpacked});
    }
    for (size_t i = k == 0 ? 0 : split[k] + 1; i < split[k + 1]; ++i) {
      middle.blocks.push_back(spread[i]);
    }
    if (k + 1 < count) {
      const Block& b = spread[split[k + 1]];
      middle.blocks.push_back({b.data.substr(0, b.data.size() / 2), 0});
    }
    folders.push_back(middle);
    const uint16_t continued = k == 0          ? kContinuedToNext
                               : k + 1 < count ? kContinuedBoth
                                               : kContinuedFromPrevious;
    PutFiles(spec.spread, continued, &records);
    files += spec.spread.size();
    if (k + 1 == count && !spec.tail.empty()) {
      folders.push_back({WholeBlocks(Joined(spec.tail), 32768)});
      PutFiles(spec.tail, static_cast<uint16_t>(folders.size() - 1), &records);
      files += spec.tail.size();
    }
    cabinets.push_back(BuildOne(spec, k, folders, records, files));
  }
  return cabinets;
}

}  // namespace cab_test
