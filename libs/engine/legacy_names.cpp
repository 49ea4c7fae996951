#include "engine/legacy_names.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <map>

#include "engine/name_decoder.h"

namespace engine {
namespace {

// One descriptor per code page and thread: opening one costs more than decoding a name, and
// the libraries may extract on several threads.
iconv_t Descriptor(int code_page) {
  struct Descriptors {
    ~Descriptors() {
      for (auto& [page, cd] : open) {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
      }
    }
    std::map<int, iconv_t> open;
  };
  thread_local Descriptors descriptors;
  auto it = descriptors.open.find(code_page);
  if (it != descriptors.open.end()) return it->second;
  const char* name = IconvName(code_page);
  iconv_t cd = name != nullptr ? iconv_open("UTF-8", name) : reinterpret_cast<iconv_t>(-1);
  descriptors.open.emplace(code_page, cd);
  return cd;
}

void AppendEscaped(unsigned char byte, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  out->push_back('%');
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 15]);
}

// Decodes with iconv; false (and *out unspecified) at the first byte it cannot read when
// `strict`, else that byte is escaped and decoding goes on.
bool Convert(std::string_view bytes, int code_page, bool strict, std::string* out) {
  out->clear();
  iconv_t cd = Descriptor(code_page);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in(bytes);
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char buffer[1024];
  while (in_left > 0) {
    char* out_ptr = buffer;
    size_t out_left = sizeof(buffer);
    const size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out->append(buffer, static_cast<size_t>(out_ptr - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      if (strict) return false;
      AppendEscaped(static_cast<unsigned char>(*in_ptr), out);
      ++in_ptr;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return true;
}

// Calls `f` with each code point of valid UTF-8 `s`.
template <typename F>
void ForEachCodePoint(std::string_view s, F f) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    f(cp);
    i += n;
  }
}

bool IsJapanese(uint32_t cp) {
  return (cp >= 0x3040 && cp <= 0x30FF) ||  // hiragana, katakana
         (cp >= 0x4E00 && cp <= 0x9FFF) ||  // kanji
         (cp >= 0xFF61 && cp <= 0xFF9F);    // half-width katakana
}

// How the names read in EUC-JP: not at all (some name is not EUC-JP, or something other than
// Japanese script, full-width forms and Japanese punctuation stands among its non-ASCII
// characters), as kanji only, or with kana. Random bytes and Cyrillic code pages rarely make
// valid EUC-JP pairs, and almost never kana (the kana rows are box drawing in KOI8-R).
enum class EucJpReading { kNone, kKanjiOnly, kWithKana };

EucJpReading ReadAsEucJp(const std::vector<std::string_view>& names) {
  bool any = false;
  bool kana = false;
  std::string text;
  for (std::string_view name : names) {
    if (!Convert(name, kCodePageEucJp, true, &text)) return EucJpReading::kNone;
    bool japanese = true;
    ForEachCodePoint(text, [&](uint32_t cp) {
      if (cp < 0x80) return;
      any = true;
      kana = kana || (cp >= 0x3040 && cp <= 0x30FF) || (cp >= 0xFF61 && cp <= 0xFF9F);
      japanese = japanese && (IsJapanese(cp) || (cp >= 0x3000 && cp <= 0x303F) ||
                              (cp >= 0xFF01 && cp <= 0xFF5E));
    });
    if (!japanese) return EucJpReading::kNone;
  }
  if (!any) return EucJpReading::kNone;
  return kana ? EucJpReading::kWithKana : EucJpReading::kKanjiOnly;
}

// The Russian alphabet: the letters of other Cyrillic languages are rare in names, and taking
// them in would let random bytes read as "Cyrillic" in code page 1251.
bool IsRussianUpper(uint32_t cp) { return (cp >= 0x0410 && cp <= 0x042F) || cp == 0x0401; }
bool IsRussianLower(uint32_t cp) { return (cp >= 0x0430 && cp <= 0x044F) || cp == 0x0451; }
bool IsRussian(uint32_t cp) { return IsRussianUpper(cp) || IsRussianLower(cp); }

// How plausible a Cyrillic reading is: the letters that stand in words, where words are runs
// of letters written as words are: all lower case, all upper case, or capitalised ("ПРИВЕТ",
// "привет", "Привет"). A lone letter (the "ö" of a Western name reads as one in code page
// 866), a run that mixes cases at random, and signs or box-drawing characters where letters
// should be are misreadings. A reading with fewer than three word letters, or more than one
// misreading in four, is no reading at all (0).
int CyrillicScore(const std::string& text) {
  std::vector<uint32_t> cps;
  ForEachCodePoint(text, [&](uint32_t cp) { cps.push_back(cp); });
  int letters = 0;
  int misread = 0;
  size_t i = 0;
  while (i < cps.size()) {
    if (cps[i] < 0x80) {
      ++i;
      continue;
    }
    if (!IsRussian(cps[i])) {
      ++misread;
      ++i;
      continue;
    }
    size_t end = i;
    size_t upper = 0;
    while (end < cps.size() && IsRussian(cps[end])) upper += IsRussianUpper(cps[end++]) ? 1 : 0;
    const size_t length = end - i;
    const bool word =
        length >= 2 && (upper == 0 || upper == length || (upper == 1 && IsRussianUpper(cps[i])));
    if (word) {
      letters += static_cast<int>(length);
    } else {
      misread += static_cast<int>(length);
    }
    i = end;
  }
  return letters >= 3 && misread * 4 <= letters ? letters : 0;
}

// The Cyrillic code page whose reading of the names is plausible, or 0 when none is.
int GuessCyrillic(const std::vector<std::string_view>& names) {
  int best = 0;
  int best_score = 0;
  for (int code_page : {kCodePageKoi8R, kCodePage866, kCodePage1251}) {
    // Every name that is not plain ASCII must read as Russian words.
    int score = 0;
    std::string text;
    for (std::string_view name : names) {
      bool ascii = true;
      for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
      if (ascii) continue;
      Convert(name, code_page, false, &text);
      const int name_score = CyrillicScore(text);
      if (name_score == 0) {
        score = 0;
        break;
      }
      score += name_score;
    }
    if (score > best_score) {
      best_score = score;
      best = code_page;
    }
  }
  return best;
}

}  // namespace

int ChooseLegacyCodePage(const std::vector<std::string_view>& names, int format_default) {
  bool all_utf8 = true;
  bool wide_utf8 = false;  // a character of three bytes or more
  for (std::string_view name : names) {
    if (!IsValidUtf8(name)) {
      all_utf8 = false;
      break;
    }
    ForEachCodePoint(name, [&](uint32_t cp) { wide_utf8 = wide_utf8 || cp >= 0x800; });
  }
  if (all_utf8 && wide_utf8) return kCodePageUtf8;

  bool all_cp932 = true;
  bool double_byte = false;  // a character code page 932 writes in two bytes
  int japanese = 0;
  std::string text;
  for (std::string_view name : names) {
    if (!Convert(name, kCodePage932, true, &text)) {
      all_cp932 = false;
      break;
    }
    ForEachCodePoint(text, [&](uint32_t cp) {
      japanese += IsJapanese(cp) ? 1 : 0;
      double_byte = double_byte || (cp >= 0x80 && !(cp >= 0xFF61 && cp <= 0xFF9F));
    });
  }
  if (all_utf8 && (!all_cp932 || japanese == 0)) return kCodePageUtf8;
  if (all_cp932 && double_byte) return kCodePage932;
  // EUC-JP's kana are pairs of bytes that code page 932 also reads, as half-width katakana and
  // signs; so names of nothing but those in code page 932 are EUC-JP when they read as kana.
  const EucJpReading euc = ReadAsEucJp(names);
  if (euc == EucJpReading::kWithKana) return kCodePageEucJp;
  if (all_cp932) return kCodePage932;
  // Russian archives are common enough, and tell themselves apart well enough, to be read as
  // what they are even where the format has a default of its own.
  if (const int cyrillic = GuessCyrillic(names); cyrillic != 0) return cyrillic;
  if (euc == EucJpReading::kKanjiOnly) return kCodePageEucJp;
  return format_default != 0 ? format_default : kCodePageLatin1;
}

std::string DecodeName(std::string_view bytes, int code_page) {
  std::string out;
  if (code_page == kCodePageUtf8) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    // Escape what is not UTF-8, keep what is.
    size_t i = 0;
    while (i < bytes.size()) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      if (i + n <= bytes.size() && IsValidUtf8(bytes.substr(i, n))) {
        out.append(bytes.substr(i, n));
        i += n;
      } else {
        AppendEscaped(b, &out);
        ++i;
      }
    }
    return out;
  }
  if (!Convert(bytes, code_page, false, &out)) {
    // No converter for this code page: ASCII stays, the rest is escaped.
    out.clear();
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out.push_back(c);
      } else {
        AppendEscaped(static_cast<unsigned char>(c), &out);
      }
    }
  }
  return out;
}

const char* IconvName(int code_page) {
  switch (code_page) {
    case kCodePage932:
      return "CP932";
    case kCodePageEucJp:
      return "EUC-JP";
    case kCodePage437:
      return "CP437";
    case kCodePage866:
      return "CP866";
    case kCodePageKoi8R:
      return "KOI8-R";
    case kCodePage1251:
      return "CP1251";
    case kCodePageLatin1:
      return "ISO-8859-1";
    default:
      return nullptr;
  }
}

}  // namespace engine
