// Microsoft cabinets: which files are ours and which engine reads them, and why.
//
// A single cabinet of stored, MSZIP or LZX folders without reserved areas goes to libarchive,
// whose MSZIP is zlib's inflate: 0.43 s of CPU for the 200 MB benchmark cabinet, libmspack
// 0.62 s. libmspack (mspack_source.cpp) reads the rest: Quantum, reserved areas (libarchive
// 3.6.2 fails "Invalid CFDATA" on them) and sets spread over several files (libarchive refuses
// every part). An unknown compression type also goes to libmspack, which fails the files of
// that folder only. Either source decodes a few megabytes ahead of the writer on a worker
// thread (ReadAhead, or libmspack's own worker).
#include "engine/cab/cab_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "engine/cab/cab_header.h"
#include "engine/cab/mspack_source.h"
#include "engine/libarchive_source.h"
#include "engine/read_ahead.h"

namespace engine {
namespace {

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

}  // namespace

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

std::unique_ptr<EntrySource> OpenCabArchive(const std::string& path, Status* status,
                                            const ReaderContext& /*context*/) {
  *status = Status::Ok();
  if (!IsCabArchive(path)) {
    *status = NotThisFormat(path, "CAB");
    return nullptr;
  }
  if (LibarchiveReadsWholly(path)) {
    LibarchiveOptions options;
    options.formats = {LibarchiveFormat::kCab};
    // No header charset: names without the UTF-8 flag stay raw for the writer to decode.
    auto source = OpenWithLibarchive({path}, options, status);
    if (source != nullptr) return ReadAhead(std::move(source));
  }
  return OpenWithMspack({path}, status);
}

}  // namespace engine
