// Code page 932 through glibc's iconv ("CP932": Microsoft's Shift_JIS, where 0x5C is "\").
#include <iconv.h>

#include <cerrno>

#include "platform/linux/linux_platform.h"

namespace {

// Converts all of `in`; on a character the target cannot hold, either fails or (lenient)
// puts `replacement` in its place and skips one input byte.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out,
             bool lenient, const std::string& replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char buffer[4096];
  bool ok = true;
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (!lenient) {
      ok = false;
      break;
    }
    out->append(replacement);
    ++src;
    --src_left;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool LinuxPlatform::Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  return Convert("CP932", "UTF-8", utf8, cp932, false, "");
}

std::string LinuxPlatform::Cp932ToUtf8(const std::string& cp932) {
  std::string utf8;
  Convert("UTF-8", "CP932", cp932, &utf8, true, "\xEF\xBF\xBD");  // U+FFFD
  return utf8;
}
