#include "engine/lha/lha_locate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/lha/lha_header.h"

namespace engine::lha {
namespace {

constexpr size_t kProbe = 4096;

// A header counts at `offset` when it parses, checksums included.
bool HeaderAt(InputFile* in, int64_t offset, bool data_must_fit) {
  in->Seek(offset);
  size_t have = in->Fill(kProbe);
  MemberHeader header;
  std::string error;
  size_t needed = 0;
  ParseResult result = ParseMemberHeader(in->data(), have, &header, &needed, &error);
  while (result == ParseResult::kNeedMore && needed <= kMaxHeaderSize) {
    if (in->Fill(needed) < needed) return false;
    result = ParseMemberHeader(in->data(), in->buffered(), &header, &needed, &error);
  }
  if (result != ParseResult::kOk) return false;
  if (!data_must_fit) return true;
  uint64_t end = static_cast<uint64_t>(offset) + header.header_size + header.compressed_size;
  return end <= static_cast<uint64_t>(in->size());
}

}  // namespace

int64_t FindFirstHeader(InputFile* in) {
  // A plain archive whose data is cut short is still an LHA archive (a damaged one).
  if (HeaderAt(in, 0, false)) return 0;
  in->Seek(0);
  if (in->Fill(2) < 2 || std::memcmp(in->data(), "MZ", 2) != 0) return -1;

  // Inside an executable a method id can occur by chance, so a candidate must also have its
  // data within the file.
  size_t span = static_cast<size_t>(std::min<int64_t>(in->size(), kSfxSearchLimit));
  in->Seek(0);
  std::string window(span, '\0');
  window.resize(in->Read(window.data(), span));
  for (size_t i = 0; i + 7 <= window.size(); ++i) {
    const void* dash = std::memchr(window.data() + i + 2, '-', window.size() - i - 2);
    if (dash == nullptr) break;
    i = static_cast<size_t>(static_cast<const char*>(dash) - window.data()) - 2;
    const auto* p = reinterpret_cast<const uint8_t*>(window.data()) + i;
    if (HasMethodId(p, window.size() - i) && HeaderAt(in, static_cast<int64_t>(i), true)) {
      return static_cast<int64_t>(i);
    }
  }
  return -1;
}

}  // namespace engine::lha
