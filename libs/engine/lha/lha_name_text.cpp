#include "engine/lha/lha_name_text.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/name_decoder.h"

namespace engine::lha {
std::string Utf16LeToUtf8(const uint8_t* p, size_t size) {
  std::string out;
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint32_t unit = Le16(p + i);
    if (unit == 0) break;  // the name ends here for the system too
    if (unit == 0xFFFF) {
      out.push_back('/');
    } else if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size && Le16(p + i + 2) >= 0xDC00 &&
               Le16(p + i + 2) < 0xE000) {
      AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (Le16(p + i + 2) - 0xDC00u), &out);
      i += 2;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      AppendUtf8(0xFFFD, &out);
    } else {
      AppendUtf8(unit, &out);
    }
  }
  return out;
}

// Only for a name whose parts come in two encodings (a UTF-16 directory with a CP932 file
// name, as UNLHA32 writes when the file name needs no Unicode): the CP932 part is turned into
// UTF-8 here so the whole name can be handed over as Unicode. The Windows library writes that
// part in the system's code page, so bytes that also happen to be valid UTF-8 ("ﾃｽﾄ用" is)
// are still CP932.
std::string Cp932ToUtf8(const std::string& bytes) {
  auto is_ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (std::all_of(bytes.begin(), bytes.end(), is_ascii)) return bytes;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No CP932 converter on this system: keep what is ASCII, never invalid UTF-8.
    std::string ascii;
    for (char c : bytes)
      ascii += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return ascii;
  }
  std::string out(bytes.size() * 3 + 4, '\0');
  char* in_ptr = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1)) break;
    // An unmappable byte becomes U+FFFD and decoding goes on after it.
    if (out_left < 3) break;
    std::memcpy(out_ptr, "\xEF\xBF\xBD", 3);
    out_ptr += 3;
    out_left -= 3;
    ++in_ptr;
    --in_left;
  }
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace engine::lha
