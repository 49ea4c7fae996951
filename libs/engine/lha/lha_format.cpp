// LHA archives: which files are ours and which engine reads them, and why.
//
// Our header reader (lha_header.cpp) takes every member, because liblhasa's reader lower-cases
// MS-DOS names, ignores UNLHA32's UTF-16 names and does not look inside self-extracting
// programs. Per member, the table in lha_methods.cpp picks the decoder: LhDecoder
// (lh_decoder.cpp) for -lh0- and -lh5- to -lh7-, where for the 200 MB benchmark archive
// liblhasa's -lh5- decoder needs 1.6 s of CPU and LhDecoder 0.43 s (libarchive 0.37 s, but it
// decodes nothing else); our own decoders for -lh2- and -lh3-, which liblhasa lacks; liblhasa
// for the other rare methods. Members decode independently of each other: the writer hands
// those LhDecoder reads to its workers, one per core (lha_source.cpp, DetachData).
//
// LHA has no directory to say beforehand whether members are large or small, so with more
// than one core a read-ahead thread takes the archive: it decodes small members ahead of the
// writer, overlapping their decoding with the creation of the files, and detaches large ones
// for the workers. On disk, 20,000 members of a few KB take 0.36 s this way against 0.50 s
// decoded on the writer's thread; the large ones still go to every core. On one core the
// extra thread would only cost.
#include "engine/lha/lha_format.h"

#include "engine/lha/lha_input.h"
#include "engine/lha/lha_locate.h"
#include "engine/lha/lha_source.h"
#include "engine/read_ahead.h"
#include "engine/worker_pool.h"

namespace engine {

bool IsLhaArchive(const std::string& path) {
  lha::InputFile in;
  std::string error;
  return in.Open(path, &error) && lha::FindFirstHeader(&in) >= 0;
}

std::unique_ptr<EntrySource> OpenLhaArchive(const std::string& path, Status* status,
                                            const ReaderContext& /*context*/) {
  *status = Status::Ok();
  if (!IsLhaArchive(path)) {
    *status = NotThisFormat(path, "LHA");
    return nullptr;
  }
  std::unique_ptr<EntrySource> source = OpenLhaSource(path, status);
  if (source != nullptr && UsableCores() > 1) return ReadAhead(std::move(source), kDetachFrom);
  return source;
}

}  // namespace engine
