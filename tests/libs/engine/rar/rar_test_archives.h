// Small RAR archives written by the tests themselves, for what the corpus lacks: names of
// thousands of bytes, devices, links of every kind, RAR 1.4 archives (no tool here reads or
// writes those), headers patched after the fact. Nothing here compresses: compressed data
// comes from the stream writers. The layouts are the ones RAR writes (RARLAB's RAR5
// technote, and the RAR 1.4 layout as unrar reads it).
#ifndef DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_ARCHIVES_H_
#define DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_ARCHIVES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace rar_test {

struct Rar5File {
  std::string name{};
  std::string data{};
  uint64_t host = 1;  // 0 Windows, 1 Unix
  uint64_t attributes = 0100644;
  bool directory = false;
  uint64_t redirect = 0;  // 1 Unix symlink, 2 Windows symlink, 3 junction, 4 hard link, 5 copy
  std::string target{};
  bool store_crc = true;
  // Compressed data in place of `data` when not empty (`data` is then what it decodes to),
  // with the header's compression information (method << 7 | dictionary << 10).
  std::string packed{};
  uint64_t compression = 0;
};

// RAR5 pieces: a variable-length integer, and a whole block header (CRC-32 and size put in
// front of `body`, which starts with the header type).
std::string Rar5Vint(uint64_t value);
std::string Rar5Header(const std::string& body);

// A RAR 1.5-4.x block header of `type` and `flags` with `fields` after the 7 base bytes, its
// size and CRC filled in.
std::string Rar4Header(uint8_t type, uint16_t flags, const std::string& fields);

// A RAR5 archive of its files, stored unless given packed, ending with its end block.
std::string BuildRar5(const std::vector<Rar5File>& files);

// A RAR5 archive of one stored file encrypted with `password` (AES-256, 2^lg2_count key
// rounds), as RAR writes one: `check` stores the password check value, `mac` stores the
// CRC-32 as a MAC keyed by the password.
std::string BuildEncryptedRar5(const std::string& name, const std::string& data,
                               const std::string& password, int lg2_count, bool check, bool mac);

// A RAR 1.4 archive ("RE~^") of stored files with MS-DOS names.
std::string BuildRar14(const std::vector<std::pair<std::string, std::string>>& files);

// RAR5: the file header holding `name`, patched: its compression information and file flags
// replaced (same encoded length) and its checksum made right again. False when not found.
bool PatchRar5FileHeader(std::string* archive, const std::string& name, uint64_t compression,
                         uint64_t file_flags);

// The value and the place of the compression information and file flags of the RAR5 file
// header holding `name`.
bool ReadRar5FileHeader(const std::string& archive, const std::string& name, uint64_t* compression,
                        uint64_t* file_flags);

}  // namespace rar_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_TEST_ARCHIVES_H_
