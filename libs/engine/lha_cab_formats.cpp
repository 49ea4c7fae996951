// Which engine reads which LHA and CAB archive, and why. (CMake: the engine links liblhasa
// and libmspack, pkg-config modules `liblhasa` and `libmspack`, besides libarchive.)
//
//   archive                          engine
//   LHA, every kind                  our header reader (lha_header.cpp) with, per member,
//                                    LhDecoder for -lh0- and -lh5- to -lh7-, liblhasa for
//                                    the others (-lhx-, -lh1-, -lh4-, -lzs-, -lz5-, -pm0-...)
//   CAB, a single cabinet of stored, libarchive
//     MSZIP or LZX folders, no
//     reserved areas
//   CAB, any other                   libmspack (OpenWithMspack)
//
// LHA: libarchive decodes only -lh0- and -lh5- to -lh7-. liblhasa decodes every method but
//   its reader lower-cases MS-DOS names, ignores UNLHA32's UTF-16 names and does not look
//   inside self-extracting executables, hence our header reader; and its -lh5- decoder needs
//   1.6 s of CPU for the 200 MB benchmark archive where LhDecoder needs 0.43 s (libarchive
//   0.37 s), hence our decoder for the common methods.
// CAB: libarchive's MSZIP is zlib's inflate: 0.43 s of CPU for the 200 MB benchmark cabinet,
//   libmspack 0.62 s. libmspack is needed for the rest: Quantum, reserved areas (libarchive
//   3.6.2 fails "Invalid CFDATA" on them) and sets spread over several files (libarchive
//   refuses every part). An unknown compression type also goes to libmspack, which fails
//   the files of that folder only.
// Every source decodes on a worker thread a few megabytes ahead of the writer (ReadAhead, or
// libmspack's own worker), so decoding and writing share the two cores a machine has at least.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "engine/cab_header.h"
#include "engine/entry_source.h"
#include "engine/lha_cab_read_ahead.h"
#include "engine/lha_input.h"
#include "engine/lha_locate.h"
#include "engine/libarchive_source.h"

namespace engine {
namespace {

using Opener = std::unique_ptr<EntrySource> (*)(const std::string& path, Status* status);

bool LibarchiveReadsWholly(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<uint8_t> head(64 * 1024);
  ssize_t got = ::pread(fd, head.data(), head.size(), 0);
  ::close(fd);
  cab::CabinetSummary summary;
  return got > 0 && cab::SummarizeCabinet(head.data(), static_cast<size_t>(got), &summary) &&
         !summary.part_of_set && !summary.reserved_areas && !summary.has_quantum &&
         !summary.unknown_method;
}

std::unique_ptr<EntrySource> OpenCabChoosingEngine(const std::string& path, Status* status) {
  if (LibarchiveReadsWholly(path)) {
    LibarchiveOptions options;
    options.formats = {LibarchiveFormat::kCab};
    // No header charset: names without the UTF-8 flag stay raw for the writer to decode.
    auto source = OpenWithLibarchive({path}, options, status);
    if (source != nullptr) return ReadAhead(std::move(source));
  }
  return OpenWithMspack({path}, status);
}

std::unique_ptr<EntrySource> OpenLhaAhead(const std::string& path, Status* status) {
  return ReadAhead(OpenWithLhasa(path, status));
}

// One row per format: the engine that opens it. Adding an engine for a format means changing
// its row (and the reason above).
struct FormatRow {
  const char* format;
  Opener open;
};
constexpr FormatRow kLhaEngine = {"LHA", &OpenLhaAhead};
constexpr FormatRow kCabEngine = {"CAB", &OpenCabChoosingEngine};

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
