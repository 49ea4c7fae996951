// ZIP: the check and the reader of UNZIP32.DLL are our own ZIP reader (zip_reader.h).
#include "engine/zip/zip_format.h"

#include "engine/zip/zip_reader.h"

namespace engine {

bool IsZipArchive(const std::string& path) { return zip::IsZipFile(path); }

std::unique_ptr<EntrySource> OpenZipArchive(const std::string& path, Status* status,
                                            const ReaderContext& context) {
  *status = Status::Ok();
  return zip::OpenZipReader(path, context, status);
}

}  // namespace engine
