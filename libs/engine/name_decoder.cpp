#include "engine/name_decoder.h"

#include <cerrno>
#include <cstdint>

namespace engine {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      n = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      n = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      n = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    for (size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return false;
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

NameDecoder::NameDecoder() : cp932_(iconv_open("UTF-8", "CP932")) {}

NameDecoder::~NameDecoder() {
  if (cp932_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cp932_);
}

std::string NameDecoder::Decode(std::string_view bytes, NameEncoding encoding) {
  if (encoding == NameEncoding::kUnicode || IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  if (cp932_ == reinterpret_cast<iconv_t>(-1)) {
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out.push_back(c);
      } else {
        out.append(kReplacement);
      }
    }
    return out;
  }
  iconv(cp932_, nullptr, nullptr, nullptr, nullptr);
  std::string in(bytes);
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char buffer[1024];
  while (in_left > 0) {
    char* out_ptr = buffer;
    size_t out_left = sizeof(buffer);
    size_t r = iconv(cp932_, &in_ptr, &in_left, &out_ptr, &out_left);
    out.append(buffer, static_cast<size_t>(out_ptr - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte CP932 cannot map (or a lead byte with no trail): mark it and go on.
      out.append(kReplacement);
      ++in_ptr;
      --in_left;
      iconv(cp932_, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace engine
