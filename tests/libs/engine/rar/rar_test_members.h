// Test support for the RAR decompressors: the files of a RAR archive (RAR 1.5-4.x or RAR5
// block layout) with their packed bytes, read straight from the file with the least header
// parsing that gets there. Decoders are tested with it against archives other tools wrote,
// without the archive reader in between.
#ifndef DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_MEMBERS_H_
#define DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_MEMBERS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/rar/unpacker.h"

namespace rar_test {

struct Member {
  std::string name;        // as stored (RAR4 Unicode names: the byte form only)
  int unpack_version = 0;  // RAR4: 15, 20, 26, 29, 36; RAR5: 50 (v5) or 70 (v7)
  int method = 0;          // RAR4: 0x30 (stored) .. 0x35; RAR5: 0 (stored) .. 5
  bool solid = false;      // continues the solid stream of the member before it
  bool directory = false;
  bool encrypted = false;
  uint64_t window_bytes = 0;  // the dictionary the header declares
  uint64_t unpacked_size = 0;
  std::optional<uint32_t> crc32;  // of the unpacked data, where the header has one
  std::string blake2sp;           // RAR5: 32 bytes when the archive stores BLAKE2sp
  std::string packed;             // the packed data, pieces of split volumes joined
};

// Reads every file header of `volumes` (one archive, or the volumes of a set in order) and
// the packed data after it. A file split over volumes comes back once, with its pieces
// joined. Empty when the files hold no RAR marker. Service headers are left out.
std::vector<Member> ReadMembers(const std::vector<std::string>& volumes);

// The corpus folder (DIZOR_CORPUS_DIR), and whether it exists: tests skip without it.
std::string CorpusPath(const std::string& relative);
bool HaveCorpus();

// A PackedInput over a string, handing out at most `chunk` bytes per call, so that decoders
// are also tested with their input arriving in small pieces.
class StringInput : public engine::rar::PackedInput {
 public:
  explicit StringInput(const std::string& data, size_t chunk = 1 << 16)
      : data_(data), chunk_(chunk) {}
  size_t Read(uint8_t* buf, size_t size) override;

 private:
  const std::string& data_;
  size_t chunk_;
  size_t pos_ = 0;
};

// Runs `unpacker` over `member` (started solid as the member says) and returns what came out;
// reads in pieces of `out_chunk` bytes.
std::string UnpackAll(engine::rar::Unpacker* unpacker, const Member& member,
                      size_t out_chunk = 1 << 16, size_t in_chunk = 1 << 16);

// CRC-32 (the ZIP/RAR polynomial) of `data`.
uint32_t Crc32(const std::string& data);

}  // namespace rar_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_MEMBERS_H_
