#include "engine/lha/lha_locate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/lha/lha_header.h"
#include "engine/lha/lha_methods.h"

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

bool Starts(const uint8_t* head, size_t size, const char* magic, size_t magic_size) {
  return size >= magic_size && std::memcmp(head, magic, magic_size) == 0;
}

// The Amiga's LhASFX marks its stub with "SFX!" and gives the archive's offset (big-endian,
// as everything on the 68000) right after. Its stub also carries a small LHA archive of its
// own, the usage text, which a search would find first.
constexpr size_t kAmigaMarkOffset = 44;
constexpr size_t kAmigaArchiveOffset = 0x34;

bool AmigaSfxOffset(const uint8_t* head, size_t size, int64_t* offset) {
  if (size < kAmigaArchiveOffset + 4 || !Starts(head, size, "\x00\x00\x03\xF3", 4) ||
      std::memcmp(head + kAmigaMarkOffset, "SFX!", 4) != 0) {
    return false;
  }
  const uint8_t* p = head + kAmigaArchiveOffset;
  *offset = int64_t{p[0]} << 24 | int64_t{p[1]} << 16 | int64_t{p[2]} << 8 | int64_t{p[3]};
  return true;
}

}  // namespace

StubKind StubKindOf(const uint8_t* head, size_t size) {
  if (Starts(head, size, "MZ", 2)) return StubKind::kWindows;
  if (size < 2) return StubKind::kNone;
  // A .COM program has no header and starts with its first instruction, which in the
  // self-extractors jumps over the data they keep: x86 JMP near or short (MS-DOS), Z80 JP or
  // JR (MSX-DOS, CP/M).
  const uint8_t first = head[0];
  if (first == 0xE9 || first == 0xEB || first == 0xC3 || first == 0x18) {
    return StubKind::kSmallStub;
  }
  if (Starts(head, size, "\x00\x00\x03\xF3", 4)) return StubKind::kSmallStub;  // Amiga hunks
  if (Starts(head, size, "HU", 2)) return StubKind::kSmallStub;                // Human68k .x
  if (Starts(head, size, "\x60\x1A", 2)) return StubKind::kSmallStub;          // Atari TOS
  return StubKind::kNone;
}

int64_t FindFirstHeader(InputFile* in) {
  // A plain archive whose data is cut short is still an LHA archive (a damaged one).
  if (HeaderAt(in, 0, false)) return 0;
  in->Seek(0);
  const size_t head = in->Fill(kProbe);
  // A known method id at offset 0 makes a plain archive whose first header is broken, even
  // when its size byte happens to read as a jump: searching on would skip that member
  // without a word.
  if (HasMethodId(in->data(), head) &&
      EngineForMethod(std::string_view(reinterpret_cast<const char*>(in->data()) + 2, 5)) !=
          MethodEngine::kUnknown) {
    return -1;
  }
  const StubKind kind = StubKindOf(in->data(), head);
  if (kind == StubKind::kNone) return -1;
  int64_t amiga = 0;
  if (AmigaSfxOffset(in->data(), head, &amiga)) {
    // Where the stub says, or nowhere: LhA 1.50r scrambles the archive it appends, and the
    // only header a search would find is that of the usage text.
    return HeaderAt(in, amiga, true) ? amiga : -1;
  }

  // Inside a program a method id can occur by chance, and the stubs of some self-extractors
  // hold a header-like string of their own ("-pms-" in PMarc's, a sample header in the
  // Amiga's): a candidate must name a method we know, pass its checksum and have its data
  // within the file.
  const int64_t limit = kind == StubKind::kWindows ? kSfxSearchLimit : kSmallSfxSearchLimit;
  size_t span = static_cast<size_t>(std::min<int64_t>(in->size(), limit));
  in->Seek(0);
  std::string window(span, '\0');
  window.resize(in->Read(window.data(), span));
  for (size_t i = 0; i + 7 <= window.size(); ++i) {
    const void* dash = std::memchr(window.data() + i + 2, '-', window.size() - i - 2);
    if (dash == nullptr) break;
    i = static_cast<size_t>(static_cast<const char*>(dash) - window.data()) - 2;
    const auto* p = reinterpret_cast<const uint8_t*>(window.data()) + i;
    if (!HasMethodId(p, window.size() - i)) continue;
    if (EngineForMethod(std::string_view(window.data() + i + 2, 5)) == MethodEngine::kUnknown) {
      continue;
    }
    if (HeaderAt(in, static_cast<int64_t>(i), true)) return static_cast<int64_t>(i);
  }
  return -1;
}

}  // namespace engine::lha
