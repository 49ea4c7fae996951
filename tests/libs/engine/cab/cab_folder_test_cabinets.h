// Cabinets of stored and MSZIP folders built for the tests of our own reader: MSZIP blocks
// packed as each kind of maker packs them (every block alone, blocks that copy from the one
// before as Microsoft's makers write them, one flushed stream), files at any place of their
// folder's stream, checksums right, absent or wrong, reserved areas.
#ifndef DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_FOLDER_TEST_CABINETS_H_
#define DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_FOLDER_TEST_CABINETS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cab_folder_test {

enum class Packing {
  kStored,
  kMszipAlone,    // each block a deflate stream of its own (gcab)
  kMszipHistory,  // each block finished, but copying from the 32 KiB before it (makecab)
  kMszipFlushed,  // one deflate stream, flushed at the end of each block
};

// The deflate data of each block of `data` cut every `block_size` bytes, without "CK".
std::vector<std::string> PackMszip(const std::string& data, size_t block_size, Packing packing);

struct FolderSpec {
  std::string data;  // the folder's uncompressed stream
  Packing packing = Packing::kStored;
  size_t block_size = 32768;
  // MSZIP blocks packed by the test itself (without "CK"), instead of `packing`.
  std::vector<std::string> packed;
};

// `data` as one raw deflate stream, copying from `history` before it where it can.
std::string DeflateWithHistory(const std::string& data, const std::string& history);

struct FileSpec {
  std::string name;
  uint16_t folder = 0;
  uint32_t offset = 0;  // in the folder's stream
  uint32_t size = 0;
  uint16_t attribs = 0x20;
  uint16_t date = 0x5A3A, time = 0x6000;  // 2025-01-26 12:00
};

enum class Sums { kRight, kZero };

struct CabSpec {
  std::vector<FolderSpec> folders;
  std::vector<FileSpec> files;
  Sums sums = Sums::kRight;
  bool reserve_flag = false;
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0, data_reserve = 0;
};

// Where each data block ended up.
struct BlockPlace {
  size_t folder = 0;
  size_t at = 0;       // of its header in the cabinet
  size_t packed = 0;   // bytes of data after the header and the reserved bytes
  uint64_t start = 0;  // of its output in the folder's stream
  uint64_t size = 0;   // of its output
};

std::string BuildFolderCabinet(const CabSpec& spec, std::vector<BlockPlace>* blocks = nullptr);

// Files one after the other in folder `folder`, covering `data` exactly.
std::vector<FileSpec> FilesCovering(const std::string& data, const std::vector<size_t>& sizes,
                                    uint16_t folder = 0, const std::string& prefix = "f");

// Text of words that repeat at every distance, so that deflate copies across block ends.
std::string WordText(size_t size, uint32_t seed);
// Bytes no compressor can shrink.
std::string NoiseBytes(size_t size, uint32_t seed);

}  // namespace cab_folder_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_FOLDER_TEST_CABINETS_H_
