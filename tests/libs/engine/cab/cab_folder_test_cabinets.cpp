#include "cab_folder_test_cabinets.h"

#include <zlib.h>

#include <algorithm>
#include <random>

#include "cab_test_cabinets.h"
#include "engine/byte_order.h"

namespace cab_folder_test {
namespace {

constexpr size_t kHistory = 32768;

void Put(std::string* out, uint64_t value, int bytes) { engine::PutLe(out, value, bytes); }

// Runs deflate over `in` with `flush` until it has given everything it will for that call.
std::string Deflate(z_stream* z, const std::string& in, int flush) {
  std::string out;
  z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z->avail_in = static_cast<uInt>(in.size());
  char buffer[16384];
  do {
    z->next_out = reinterpret_cast<Bytef*>(buffer);
    z->avail_out = sizeof buffer;
    deflate(z, flush);
    out.append(buffer, sizeof buffer - z->avail_out);
  } while (z->avail_out == 0);
  return out;
}

}  // namespace

std::vector<std::string> PackMszip(const std::string& data, size_t block_size, Packing packing) {
  std::vector<std::string> blocks;
  z_stream flushed{};
  if (packing == Packing::kMszipFlushed) {
    deflateInit2(&flushed, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  }
  for (size_t at = 0; at < data.size() || (at == 0 && blocks.empty()); at += block_size) {
    const std::string piece = data.substr(at, block_size);
    if (packing == Packing::kMszipFlushed) {
      const bool last = at + block_size >= data.size();
      blocks.push_back(Deflate(&flushed, piece, last ? Z_FINISH : Z_SYNC_FLUSH));
      continue;
    }
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (packing == Packing::kMszipHistory && at > 0) {
      const size_t keep = std::min(at, kHistory);
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(data.data() + at - keep),
                           static_cast<uInt>(keep));
    }
    blocks.push_back(Deflate(&z, piece, Z_FINISH));
    deflateEnd(&z);
  }
  if (packing == Packing::kMszipFlushed) deflateEnd(&flushed);
  return blocks;
}

std::string DeflateWithHistory(const std::string& data, const std::string& history) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  if (!history.empty()) {
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(history.data()),
                         static_cast<uInt>(history.size()));
  }
  std::string out = Deflate(&z, data, Z_FINISH);
  deflateEnd(&z);
  return out;
}

std::string BuildFolderCabinet(const CabSpec& spec, std::vector<BlockPlace>* places) {
  std::string reserve;
  if (spec.reserve_flag) {
    Put(&reserve, spec.header_reserve, 2);
    reserve += static_cast<char>(spec.folder_reserve);
    reserve += static_cast<char>(spec.data_reserve);
    reserve += std::string(spec.header_reserve, 'h');
  }
  std::string files;
  for (const FileSpec& f : spec.files) {
    Put(&files, f.size, 4);
    Put(&files, f.offset, 4);
    Put(&files, f.folder, 2);
    Put(&files, f.date, 2);
    Put(&files, f.time, 2);
    Put(&files, f.attribs, 2);
    files += f.name + '\0';
  }
  const size_t folders_at = 36 + reserve.size();
  const size_t files_at = folders_at + spec.folders.size() * (8 + spec.folder_reserve);
  const size_t data_at = files_at + files.size();

  std::string folders, blocks;
  std::vector<BlockPlace> placed;
  for (size_t f = 0; f < spec.folders.size(); ++f) {
    const FolderSpec& folder = spec.folders[f];
    std::vector<std::string> packed;
    if (!folder.packed.empty()) {
      for (const std::string& p : folder.packed) packed.push_back("CK" + p);
    } else if (folder.packing == Packing::kStored) {
      for (size_t at = 0; at < folder.data.size(); at += folder.block_size) {
        packed.push_back(folder.data.substr(at, folder.block_size));
      }
    } else {
      packed = PackMszip(folder.data, folder.block_size, folder.packing);
      for (std::string& p : packed) p = "CK" + p;
    }
    Put(&folders, data_at + blocks.size(), 4);
    Put(&folders, packed.size(), 2);
    Put(&folders, folder.packing == Packing::kStored ? 0 : 1, 2);
    folders += std::string(spec.folder_reserve, 'f');
    uint64_t start = 0;
    for (size_t b = 0; b < packed.size(); ++b) {
      const size_t size = std::min(folder.block_size, folder.data.size() - start);
      const auto n = static_cast<uint16_t>(packed[b].size());
      const auto u = static_cast<uint16_t>(size);
      placed.push_back({f, data_at + blocks.size(), packed[b].size(), start, size});
      Put(&blocks, spec.sums == Sums::kRight ? cab_test::BlockChecksum(packed[b], n, u) : 0, 4);
      Put(&blocks, n, 2);
      Put(&blocks, u, 2);
      blocks += std::string(spec.data_reserve, 'r') + packed[b];
      start += size;
    }
  }
  const std::string cab =
      cab_test::CabHeader({.cabinet_size = data_at + blocks.size(),
                           .files_at = files_at,
                           .folders = spec.folders.size(),
                           .files = spec.files.size(),
                           .flags = static_cast<uint16_t>(spec.reserve_flag ? 0x4 : 0),
                           .set_id = 0x4321});
  if (places != nullptr) *places = placed;
  return cab + reserve + folders + files + blocks;
}

std::vector<FileSpec> FilesCovering(const std::string& data, const std::vector<size_t>& sizes,
                                    uint16_t folder, const std::string& prefix) {
  std::vector<FileSpec> files;
  uint32_t at = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const size_t size = i + 1 == sizes.size() ? data.size() - at : sizes[i];
    files.push_back({prefix + std::to_string(i), folder, at, static_cast<uint32_t>(size)});
    at += static_cast<uint32_t>(size);
  }
  return files;
}

std::string WordText(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"cabinet", "folder ",      "block", " data ",  "MSZIP",
                                       "\n",      "\xE6\x97\xA5", "copy ", "history", "0123"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += kWords[random() % 10];
  text.resize(size);
  return text;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace cab_folder_test
