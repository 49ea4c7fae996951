// Which engine reads LHA and CAB archives (CMake: the engine links liblhasa and libmspack,
// pkg-config modules `liblhasa` and `libmspack`).
//
// LHA: liblhasa decodes every method found in the wild (lh0-lh7, lhx, lh1, lz4, lzs, lz5,
//   pm0-pm2); libarchive only lh0 and lh5-lh7. The member headers are read by our own
//   lha_header.cpp, which keeps MS-DOS names as stored, reads UNLHA32's UTF-16 names and finds
//   the archive inside a self-extracting .exe, so one engine serves every archive.
// CAB: libmspack reads stored, MSZIP, LZX and Quantum folders, reserved header areas, and
//   cabinet sets spread over several files; libarchive 3.6.2 misses Quantum, refuses every
//   part of a set and fails on reserved data areas. libmspack is also the engine of
//   cabextract, the quickest peer on cabinets of many small files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/cab_header.h"
#include "engine/entry_source.h"
#include "engine/lha_input.h"
#include "engine/lha_locate.h"

namespace engine {
namespace {

using Opener = std::unique_ptr<EntrySource> (*)(const std::string& path, Status* status);

std::unique_ptr<EntrySource> OpenCabWithMspack(const std::string& path, Status* status) {
  return OpenWithMspack({path}, status);
}

// One row per format: the engine that opens it. Adding an engine for a format means changing
// its row (and the reason above).
struct FormatRow {
  const char* format;
  Opener open;
};
constexpr FormatRow kLhaEngine = {"LHA", &OpenWithLhasa};
constexpr FormatRow kCabEngine = {"CAB", &OpenCabWithMspack};

std::unique_ptr<EntrySource> OpenAs(const FormatRow& row, bool (*is_format)(const std::string&),
                                    const std::string& path, Status* status) {
  *status = Status::Ok();
  if (access(path.c_str(), R_OK) != 0) {
    *status = Status::Fatal(ResultCode::kCannotOpen, path + ": cannot be read");
    return nullptr;
  }
  if (!is_format(path)) {
    *status =
        Status::Fatal(ResultCode::kNotThisFormat, path + ": not an " + row.format + " archive");
    return nullptr;
  }
  return row.open(path, status);
}

}  // namespace

bool IsLhaArchive(const std::string& path) {
  lha::InputFile in;
  std::string error;
  return in.Open(path, &error) && lha::FindFirstHeader(&in) >= 0;
}

bool IsCabArchive(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t header[cab::kHeaderSize];
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            ::pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
            cab::LooksLikeCabinet(header, sizeof header, static_cast<uint64_t>(st.st_size));
  ::close(fd);
  return ok;
}

std::unique_ptr<EntrySource> OpenLhaArchive(const std::string& path, Status* status) {
  return OpenAs(kLhaEngine, &IsLhaArchive, path, status);
}

std::unique_ptr<EntrySource> OpenCabArchive(const std::string& path, Status* status) {
  return OpenAs(kCabEngine, &IsCabArchive, path, status);
}

}  // namespace engine
