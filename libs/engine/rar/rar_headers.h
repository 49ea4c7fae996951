// A reader of RAR block headers (RAR 1.5-4.x and RAR5), no decompression. libarchive does
// the decoding; this only answers what it does not tell: which volume comes next, whether
// the set ends, and which entries use a method or an encryption we cannot decode.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct RarFileInfo {
  int unpack_version = 0;  // RAR 1.5-4.x: 15, 20, 26, 29, 36; RAR5: 50
  bool stored = false;     // no compression at all
  bool encrypted = false;
  bool split_before = false;  // continues an entry of the previous volume
  bool split_after = false;   // continues in the next volume
};

struct RarScan {
  bool is_rar = false;
  bool rar5 = false;
  bool volume = false;             // part of a multi-volume set
  bool solid = false;              // RAR 1.5-4.x solid archive
  bool headers_encrypted = false;  // nothing can be listed without a password
  bool ends_set = true;            // false when the set goes on in a further volume
  bool cut_short = false;          // the file ends inside a block: truncated
  std::vector<RarFileInfo> files;  // file headers in order, continuations included
};

// Where the RAR marker starts in `data` (0 for a plain archive, later for a
// self-extracting one), or -1.
int64_t FindRarMarker(const unsigned char* data, size_t size, bool* rar5);

// Scans the headers of one volume. Returns false when the file cannot be read or holds
// no RAR marker in its first megabytes.
bool ScanRar(const std::string& path, RarScan* scan);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_HEADERS_H_
