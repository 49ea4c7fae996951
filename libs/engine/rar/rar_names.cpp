#include "engine/rar/rar_names.h"

#include "engine/name_decoder.h"

namespace engine::rar {
namespace {

// The compact form: a high byte for the whole name, then two-bit opcodes (four to a flag
// byte, highest first) saying how each next character is made: a byte with high byte 0, a
// byte with the common high byte, a full 16-bit unit, or a run taken from the byte name
// (optionally shifted by a correction and given the common high byte). Damaged input
// simply ends the name early.
std::u16string DecodeCompactUtf16(std::string_view plain, std::string_view packed) {
  auto byte_at = [](std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); };
  std::u16string out;
  size_t pos = 0;
  const uint32_t high = pos < packed.size() ? byte_at(packed, pos++) : 0;
  uint32_t flags = 0;
  int flag_bits = 0;
  while (pos < packed.size()) {
    if (flag_bits == 0) {
      flags = byte_at(packed, pos++);
      flag_bits = 8;
    }
    flag_bits -= 2;
    const uint32_t op = (flags >> flag_bits) & 3;
    if (op == 0 || op == 1) {
      if (pos >= packed.size()) break;
      const uint32_t low = byte_at(packed, pos++);
      out.push_back(static_cast<char16_t>(op == 0 ? low : low | (high << 8)));
    } else if (op == 2) {
      if (pos + 1 >= packed.size()) break;
      out.push_back(static_cast<char16_t>(byte_at(packed, pos) | (byte_at(packed, pos + 1) << 8)));
      pos += 2;
    } else {
      if (pos >= packed.size()) break;
      const uint32_t run = byte_at(packed, pos++);
      if (run & 0x80) {
        if (pos >= packed.size()) break;
        const uint32_t correction = byte_at(packed, pos++);
        for (uint32_t n = (run & 0x7F) + 2; n > 0 && out.size() < plain.size(); --n) {
          const uint32_t low = (byte_at(plain, out.size()) + correction) & 0xFF;
          out.push_back(static_cast<char16_t>(low | (high << 8)));
        }
      } else {
        for (uint32_t n = run + 2; n > 0 && out.size() < plain.size(); --n) {
          out.push_back(static_cast<char16_t>(byte_at(plain, out.size())));
        }
      }
    }
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // half a pair: no character to give
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  auto put = [&out](uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  while (i < utf8.size()) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    uint32_t cp = b;
    size_t extra = 0;
    if (b >= 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else if (b >= 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if (b >= 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    }
    if (extra > 0 && i + extra >= utf8.size()) {
      cp = b;  // a cut sequence: keep the byte as it is
      extra = 0;
    }
    for (size_t k = 1; k <= extra; ++k) {
      cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

DecodedName DecodeRar4Name(std::string_view field, bool unicode) {
  const size_t nul = field.find('\0');
  if (unicode && nul == std::string_view::npos) {
    // No room for the compact form: RAR wrote the name in UTF-8.
    return {std::string(field),
            IsValidUtf8(field) ? NameEncoding::kUnicode : NameEncoding::kNative};
  }
  std::string_view plain = field.substr(0, nul);
  if (unicode) {
    std::u16string units = DecodeCompactUtf16(plain, field.substr(nul + 1));
    // A zero inside comes only from damage; the name ends there.
    const size_t zero = units.find(u'\0');
    if (zero != std::u16string::npos) units.resize(zero);
    if (!units.empty()) return {Utf16ToUtf8(units), NameEncoding::kUnicode};
  }
  return {std::string(plain), NameEncoding::kNative};
}

}  // namespace engine::rar
