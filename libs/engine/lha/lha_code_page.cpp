#include "engine/lha/lha_code_page.h"

#include <string_view>
#include <vector>

#include "engine/legacy_names.h"
#include "engine/lha/lha_header.h"
#include "engine/lha/lha_input.h"

namespace engine::lha {
namespace {

// Headers sit between the members' data; a small window reads them without pulling in much of
// that data, and the page cache keeps what the extraction reads again right after.
constexpr size_t kWindow = 16 * 1024;
// Enough names to judge by; a hostile archive of millions of long names must not cost more.
constexpr size_t kMaxNameBytes = 16 << 20;

}  // namespace

int ChooseArchiveCodePage(const std::string& path, int64_t first_header) {
  InputFile in;
  std::string error;
  if (!in.Open(path, &error, kWindow)) return 0;
  std::vector<std::string> names;
  size_t name_bytes = 0;
  int64_t offset = first_header;
  while (offset >= 0 && offset < in.size() && name_bytes < kMaxNameBytes) {
    in.Seek(offset);
    size_t needed = 0;
    MemberHeader header;
    const size_t have = in.Fill(64);
    if (have == 0) break;
    ParseResult result = ParseMemberHeader(in.data(), have, &header, &needed, &error);
    while (result == ParseResult::kNeedMore && in.Fill(needed) >= needed) {
      result = ParseMemberHeader(in.data(), in.buffered(), &header, &needed, &error);
    }
    if (result != ParseResult::kOk) break;
    if (header.name_encoding == NameEncoding::kNative) {
      name_bytes += header.name.size() + header.link_target.size();
      names.push_back(std::move(header.name));
      if (!header.link_target.empty()) names.push_back(std::move(header.link_target));
    }
    const uint64_t next =
        static_cast<uint64_t>(offset) + header.header_size + header.compressed_size;
    if (next > static_cast<uint64_t>(in.size())) break;
    offset = static_cast<int64_t>(next);
  }
  if (names.empty()) return 0;
  std::vector<std::string_view> views(names.begin(), names.end());
  return ChooseLegacyCodePage(views);
}

}  // namespace engine::lha
