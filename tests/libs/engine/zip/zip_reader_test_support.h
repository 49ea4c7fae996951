// What the tests of our ZIP reader share: an archive writer for the hand-made (odd, damaged,
// hostile) archives no zipper writes, reading every entry of an archive through ZipArchive,
// and a password source that answers from a script.
#ifndef DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_READER_TEST_SUPPORT_H_
#define DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_READER_TEST_SUPPORT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/password_source.h"
#include "engine/zip/zip_archive.h"

namespace zip_reader_test {

// One entry of a hand-made archive. `packed` is stored as given; the CRC and the unpacked
// size describe `plain`.
struct MadeEntry {
  std::string name = {};
  std::string plain = {};
  std::string packed = {};  // empty with method 0: `plain` is stored
  uint16_t method = 0;
  uint16_t flags = 0;
  uint16_t made_by = 0x0314;  // MS-DOS host, version 2.0
  uint32_t external_attributes = 0;
  uint32_t dos_time = 0x5A8B6000;  // 2025-04-11 12:00:00
  std::string local_extra = {};
  std::string central_extra = {};
  bool descriptor = false;           // sizes and CRC after the data (flag bit 3)
  bool descriptor_signature = true;  // the descriptor starts with PK\7\8
  // 8-byte sizes in the descriptor; by default exactly when the entry is ZIP64.
  std::optional<bool> wide_descriptor = {};
  // ZIP64: the central directory saturates these 32-bit fields and carries them in its
  // ZIP64 field instead (the local header, when either is set, both sizes).
  bool zip64_unpacked = false;
  bool zip64_packed = false;
  std::optional<uint16_t> local_extra_length = {};  // written instead of the real length
  std::optional<uint32_t> crc = {};                 // written instead of the CRC of `plain`
};

struct MadeArchive {
  std::string prefix = {};  // what precedes the archive (a self-extractor's stub)
  bool zip64_end = false;
  std::string comment = {};
};

// The archive bytes; local offsets count from the start of the archive proper (the prefix
// is not counted, as a stub glued on later is not).
std::string MakeZip(const std::vector<MadeEntry>& entries, const MadeArchive& options = {});

// Raw deflate of `data` (zlib, level 6).
std::string Deflate(const std::string& data);

struct ReadResult {
  engine::Entry entry;
  std::string data;
  engine::Status status;
};

// Every entry of the archive at `path` with its data read through ZipArchive (a symlink's
// data is its target); empty with *open_status set when the archive does not open.
std::vector<ReadResult> ReadArchive(const std::string& path, engine::Status* open_status,
                                    engine::PasswordSource* passwords = nullptr,
                                    engine::Status* end_status = nullptr);

// The entries of a written archive as lines of the golden trees (f/d/l, path, size, CRC),
// with names decoded as the program will: Unicode as is, the rest in the archive's code page.
std::vector<std::string> TreeLines(const std::vector<ReadResult>& results);

// Answers from a list, one answer per question; nothing (cancel) when the list is used up.
// Records the `wrong` flag of every question.
class ScriptedPasswords : public engine::PasswordSource {
 public:
  explicit ScriptedPasswords(std::vector<std::optional<std::string>> answers)
      : answers_(std::move(answers)) {}
  std::optional<std::string> Get(bool wrong) override;
  const std::vector<bool>& questions() const { return questions_; }

 private:
  std::vector<std::optional<std::string>> answers_;
  std::vector<bool> questions_;
};

}  // namespace zip_reader_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_READER_TEST_SUPPORT_H_
