// Microsoft cabinets: which files are ours and which engine reads them, and why.
//
// A single cabinet at the start of its file, whose folders are all stored or MSZIP and which
// has no reserve flag and no record without a name, goes to libarchive, whose MSZIP is zlib's
// inflate: 0.43 s of CPU for the 200 MB benchmark cabinet, libmspack 0.62 s. libmspack
// (mspack_source.cpp) reads everything else:
// - LZX: libarchive 3.6.2 builds the pre-tree of an LZX block in a 10-bit table and fails
//   ("LZX decompression failed", 0x800C) on a pre-tree with longer codes, which are valid
//   (test_read_format_cab_lzx_16bit.cab; fixed on libarchive master, in no release yet).
//   libmspack is faster here too: cabextract 0.07 s against bsdtar 0.11 to 0.40 s for 98 MB
//   of LZX:15 and LZX:21.
// - Quantum, which libarchive lacks; a compression type nobody knows (libmspack fails the
//   files of that folder only);
// - the reserve flag: libarchive 3.6.2 fails "Invalid CFDATA" on reserved areas, and also
//   when the flag is set with all their sizes 0;
// - sets spread over several files (libarchive refuses every part);
// - a cabinet behind other bytes or inside a self-extracting program, and a file record with
//   an empty name: libmspack reads them through a view (cab_view.h).
// Either source decodes a few megabytes ahead of the writer on a worker thread (ReadAhead,
// or libmspack's own worker).
#include "engine/cab/cab_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_header.h"
#include "engine/cab/cab_locate.h"
#include "engine/cab/cab_names.h"
#include "engine/cab/mspack_source.h"
#include "engine/libarchive_source.h"
#include "engine/read_ahead.h"

namespace engine {
namespace {

// The cabinet of `path`: its offset (-1 when there is none) and, when it can be read whole,
// its directory.
struct Located {
  int64_t offset = -1;
  bool has_directory = false;
  cab::CabinetDirectory directory;
};

Located Locate(const std::string& path) {
  Located found;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return found;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const auto size = static_cast<uint64_t>(st.st_size);
    found.offset = cab::FindCabinet(fd, size);
    found.has_directory =
        found.offset >= 0 &&
        cab::ReadCabinetDirectory(fd, static_cast<uint64_t>(found.offset), size, &found.directory);
  }
  ::close(fd);
  return found;
}

bool LibarchiveReadsWholly(const Located& found) {
  if (found.offset != 0 || !found.has_directory) return false;
  const cab::CabinetSummary s = cab::Summarize(found.directory);
  return !s.part_of_set && !s.reserved_areas && !s.has_quantum && !s.has_lzx && !s.unknown_method &&
         !s.nameless_file;
}

}  // namespace

bool IsCabArchive(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            cab::FindCabinet(fd, static_cast<uint64_t>(st.st_size)) >= 0;
  ::close(fd);
  return ok;
}

std::unique_ptr<EntrySource> OpenCabArchive(const std::string& path, Status* status,
                                            const ReaderContext& /*context*/) {
  *status = Status::Ok();
  const Located found = Locate(path);
  if (found.offset < 0) {
    *status = NotThisFormat(path, "CAB");
    return nullptr;
  }
  if (LibarchiveReadsWholly(found)) {
    LibarchiveOptions options;
    options.formats = {LibarchiveFormat::kCab};
    // No header charset: names stay raw, and the writer reads them in the cabinet's code page.
    auto source = OpenWithLibarchive({path}, options, status);
    if (source != nullptr) {
      return ReadAhead(cab::WithCabinetNames(std::move(source), found.directory));
    }
  }
  return OpenWithMspack({path}, status, static_cast<uint64_t>(found.offset));
}

}  // namespace engine
