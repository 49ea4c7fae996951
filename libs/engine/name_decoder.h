// Turns the name bytes of an entry into UTF-8, the file-system encoding on Linux.
#ifndef DIZOR_LIBS_ENGINE_NAME_DECODER_H_
#define DIZOR_LIBS_ENGINE_NAME_DECODER_H_

#include <iconv.h>

#include <string>
#include <string_view>

#include "engine/entry_source.h"

namespace engine {

bool IsValidUtf8(std::string_view s);

// Holds one iconv descriptor for a whole extraction: opening one per entry costs more than
// decoding the name. iconv itself does not look at the process locale, so the result is
// the same under the Qt program (setlocale(LC_ALL, "")) and the console one.
class NameDecoder {
 public:
  NameDecoder();
  ~NameDecoder();
  NameDecoder(const NameDecoder&) = delete;
  NameDecoder& operator=(const NameDecoder&) = delete;

  // kUnicode names and valid UTF-8 stay as they are; the rest are read as code page 932
  // (Japanese archives made on Windows). Bytes that CP932 cannot map either become U+FFFD,
  // so every result is valid UTF-8.
  std::string Decode(std::string_view bytes, NameEncoding encoding);

 private:
  iconv_t cp932_;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_NAME_DECODER_H_
