// Archives built byte by byte for the hostile-archive tests. No archiver would write these
// names or links, so the tests write the formats themselves: ZIP (stored or deflated),
// LHA level-2 headers (stored, or an lh5 stream that repeats one byte), CAB (stored or
// MSZIP). RAR cannot be written here; rar_patch.h alters corpus archives instead.
#ifndef DIZOR_TESTS_HOSTILE_ARCHIVE_BUILDERS_H_
#define DIZOR_TESTS_HOSTILE_ARCHIVE_BUILDERS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

enum class Kind { kFile, kDirectory, kSymlink };

struct Member {
  std::string name;  // raw bytes as stored: may hold "..", '\', "C:", a leading '/'
  std::string data;  // file content
  Kind kind = Kind::kFile;
  std::string target;           // symlink target
  uint64_t repeated_zeros = 0;  // when non-zero, the content is this many zero bytes
                                // (written compressed: the entry is a "bomb")
  bool utf16_name = false;      // LHA: the name goes into UNLHA32's UTF-16 extensions,
                                // which readers prefer; the plain one says "decoy.txt"
};

inline Member File(std::string name, std::string data) {
  return {std::move(name), std::move(data), Kind::kFile, "", 0};
}
inline Member Symlink(std::string name, std::string target) {
  return {std::move(name), "", Kind::kSymlink, std::move(target), 0};
}
inline Member Dir(std::string name) { return {std::move(name), "", Kind::kDirectory, "", 0}; }
inline Member Zeros(std::string name, uint64_t count) {
  return {std::move(name), "", Kind::kFile, "", count};
}
// An LHA member whose name (ASCII and NUL only) is stored as UTF-16.
inline Member Utf16File(std::string name, std::string data) {
  return {std::move(name), std::move(data), Kind::kFile, "", 0, true};
}

// A ZIP made on Unix (links and modes in the external attributes). Bombs are deflated,
// everything else stored.
std::string BuildZip(const std::vector<Member>& members);

// An LHA archive of level-2 headers made on Unix. Files are stored (-lh0-), links are
// "-lhd-" entries named "link|target", bombs an lh5 stream of nothing but long matches.
std::string BuildLha(const std::vector<Member>& members);

// A single-folder cabinet. Stored, or MSZIP when any member is a bomb. No links: the format
// has none.
std::string BuildCab(const std::vector<Member>& members);

}  // namespace hostile

#endif  // DIZOR_TESTS_HOSTILE_ARCHIVE_BUILDERS_H_
