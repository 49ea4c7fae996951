// Microsoft cabinets: which files are ours and which engine reads them, and why.
//
// A single cabinet whose folders are all stored or MSZIP, nearly every cabinet made today,
// is read by our own reader (cab_folder_source.h), wherever it starts in its file, reserved
// areas and nameless records included. libdeflate inflates its blocks: the 200 MB benchmark
// cabinet (gcab -z, 44 files) comes out in 0.26 s on two cores, against 0.52 s for bsdtar,
// 0.62 s for cabextract and 0.47 s through libarchive, which read these cabinets before.
// Where the files are large, a worker thread decodes a few megabytes ahead of the writer
// (ReadAhead): written to memory, that cabinet takes 0.23 s with it and 0.28 s without. For
// small files the hand-over per file costs more than it gives (20,000 files of 1 KB: 0.26 s
// with it, 0.23 s without), so they are read on the writer's thread.
//
// libmspack (mspack_source.cpp) reads everything else, with a worker thread of its own:
// - LZX: libmspack is faster than libarchive (cabextract 0.07 s against bsdtar 0.11 to
//   0.40 s for 98 MB of LZX:15 and LZX:21), and libarchive 3.6.2 fails valid blocks whose
//   pre-tree has codes longer than 10 bits (test_read_format_cab_lzx_16bit.cab);
// - Quantum, and a compression type nobody knows (libmspack fails the files of that folder
//   only);
// - sets spread over several files, from their first cabinet whichever one the user dropped;
// - a cabinet cut short inside its directory, of which libmspack reads what it can.
// It reads a cabinet behind other bytes, or with a nameless record, through a view
// (cab_view.h).
#include "engine/cab/cab_format.h"

#include <unistd.h>

#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_folder_source.h"
#include "engine/cab/cab_header.h"
#include "engine/cab/cab_locate.h"
#include "engine/cab/mspack_source.h"
#include "engine/read_ahead.h"
#include "engine/regular_file.h"

namespace engine {
namespace {

// Files of this size on average, or more, are decoded ahead of the writer.
constexpr uint64_t kAheadFromAverage = 64 * 1024;

// The cabinet of `path`: its offset (-1 when there is none) and, when it can be read whole,
// its directory.
struct Located {
  int64_t offset = -1;
  bool has_directory = false;
  cab::CabinetDirectory directory;
};

Located Locate(const std::string& path) {
  Located found;
  int64_t file_size = 0;
  const int fd = OpenRegularFile(path, &file_size);
  if (fd < 0) return found;
  const auto size = static_cast<uint64_t>(file_size);
  found.offset = cab::FindCabinet(fd, size);
  found.has_directory =
      found.offset >= 0 &&
      cab::ReadCabinetDirectory(fd, static_cast<uint64_t>(found.offset), size, &found.directory);
  ::close(fd);
  return found;
}

// Every single cabinet whose folders our reader decodes is ours; it reads whatever else is
// in it (reserved areas, nameless records, bytes before it) too.
bool OursReads(const Located& found) {
  if (!found.has_directory) return false;
  const cab::CabinetSummary s = cab::Summarize(found.directory);
  return !s.part_of_set && !s.has_quantum && !s.has_lzx && !s.unknown_method;
}

bool WorthReadingAhead(const cab::CabinetDirectory& dir) {
  uint64_t bytes = 0;
  for (const cab::CabFile& f : dir.files) bytes += f.size;
  return bytes >= kAheadFromAverage * dir.files.size();
}

}  // namespace

bool IsCabArchive(const std::string& path) {
  int64_t size = 0;
  const int fd = OpenRegularFile(path, &size);
  if (fd < 0) return false;
  const bool ok = cab::FindCabinet(fd, static_cast<uint64_t>(size)) >= 0;
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
  if (OursReads(found)) {
    auto source =
        cab::OpenFolderSource(path, static_cast<uint64_t>(found.offset), found.directory, status);
    if (source != nullptr && WorthReadingAhead(found.directory)) {
      return ReadAhead(std::move(source));
    }
    return source;
  }
  // A later part of a set is read from the first part, found back through the headers; a set
  // whose earlier parts are missing is read from the earliest one there.
  if (found.offset == 0 && found.has_directory &&
      (found.directory.flags & cab::kFlagPrevious) != 0) {
    return OpenWithMspack(cab::CabinetsFromFirst(path, found.directory), status);
  }
  return OpenWithMspack({path}, status, static_cast<uint64_t>(found.offset));
}

}  // namespace engine
