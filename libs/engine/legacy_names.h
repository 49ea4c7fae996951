// Which encoding the names of an archive were written in when the archive does not mark them
// as Unicode. Each name alone cannot tell: the code page 932 bytes of "ﾃｽﾄ用" are also valid
// UTF-8 ("ýėp"), so the decision is made once for all the unmarked names of an archive.
#ifndef DIZOR_LIBS_ENGINE_LEGACY_NAMES_H_
#define DIZOR_LIBS_ENGINE_LEGACY_NAMES_H_

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Code pages a name may be read in (the numbers Windows gives them).
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePage932 = 932;      // Japanese Windows (Shift_JIS)
inline constexpr int kCodePageEucJp = 20932;  // Japanese Unix of the EUC era
inline constexpr int kCodePage437 = 437;      // the ZIP format's own default (MS-DOS, US)
inline constexpr int kCodePage866 = 866;      // Russian MS-DOS
inline constexpr int kCodePageKoi8R = 20866;
inline constexpr int kCodePage1251 = 1251;  // Russian Windows
inline constexpr int kCodePageLatin1 = 28591;

// The code page of `names` (the raw bytes of every name without a Unicode mark):
// - UTF-8 when every name is valid UTF-8 and either some name holds a character that takes
//   three bytes or more (Japanese in UTF-8 does) or no name reads as Japanese in code page 932;
// - else code page 932 when every name is valid code page 932 (a Japanese archive from
//   Windows: Japanese script wins over the Latin letters the same bytes make in UTF-8);
// - else EUC-JP when every name reads in it as Japanese script with some kana among it (an
//   archive made on a Unix system of the EUC era: LHa for UNIX, zip on old Solaris);
// - else the Cyrillic code page (KOI8-R, 866 or 1251) whose reading gives plausible words,
//   when one does;
// - else EUC-JP when every name reads in it as Japanese script, kanji only;
// - else the format's own default (`format_default`, 437 for ZIP), or Latin-1.
// ASCII-only names give UTF-8, which reads them the same.
int ChooseLegacyCodePage(const std::vector<std::string_view>& names, int format_default = 0);

// iconv's name of `code_page`; null for one we do not know.
const char* IconvName(int code_page);

// `bytes` read in `code_page` as UTF-8. A byte that cannot be read is written as "%XX" (its
// value in hexadecimal), so no two names become one and nothing is dropped.
std::string DecodeName(std::string_view bytes, int code_page);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LEGACY_NAMES_H_
