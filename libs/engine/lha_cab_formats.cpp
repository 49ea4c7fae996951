// Placeholder until the LHA and CAB decoder choice lands.
#include "engine/entry_source.h"

namespace engine {

std::unique_ptr<EntrySource> OpenLhaArchive(const std::string& /*path*/, Status* status) {
  *status = Status::Fatal(ResultCode::kUnsupportedMethod, "LHA not built yet");
  return nullptr;
}
std::unique_ptr<EntrySource> OpenCabArchive(const std::string& /*path*/, Status* status) {
  *status = Status::Fatal(ResultCode::kUnsupportedMethod, "CAB not built yet");
  return nullptr;
}
bool IsLhaArchive(const std::string& /*path*/) { return false; }
bool IsCabArchive(const std::string& /*path*/) { return false; }

}  // namespace engine
