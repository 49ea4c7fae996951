// Test support for the ZIP decompressors: the entries of a ZIP file with their packed bytes,
// found through the central directory (which has the sizes and CRC even where the local
// header defers them to a data descriptor) and read from after each local header. Enough to
// feed decoders archives other tools wrote, without the archive reader in between.
#ifndef DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_TEST_ENTRIES_H_
#define DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_TEST_ENTRIES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zip_test {

struct Entry {
  std::string name;  // as stored
  uint16_t method = 0;
  uint16_t flags = 0;  // general-purpose bits (Implode's dictionary and tree count)
  uint32_t crc32 = 0;
  uint64_t unpacked_size = 0;
  std::string packed;
};

// Every entry of the ZIP file at `path`, in central-directory order; empty when the file
// cannot be read or holds no central directory. ZIP64 archives are not needed here.
std::vector<Entry> ReadEntries(const std::string& path);

// The first entry using `method`, or nullptr.
const Entry* FindByMethod(const std::vector<Entry>& entries, uint16_t method);

// A ZIP file holding `entry` alone, its packed bytes as given: how hand-made streams reach
// other tools (7z) for a second opinion.
std::string WriteSingleEntryZip(const Entry& entry);

}  // namespace zip_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_ZIP_ZIP_TEST_ENTRIES_H_
