// The code page of an LHA archive's names that carry no Unicode mark. Each name alone cannot
// tell (the CP932 bytes of "ﾃｽﾄ用" are valid UTF-8 too), so every member header is read once
// before extraction begins and the choice is made for all of them together.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_CODE_PAGE_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_CODE_PAGE_H_

#include <cstdint>
#include <string>

namespace engine::lha {

// Walks the member headers of `path` from `first_header` on (skipping the data) and returns
// ChooseLegacyCodePage() of their unmarked names and link targets, or 0 when there are none.
// Stops quietly where the archive ends or breaks: the reader reports that itself.
int ChooseArchiveCodePage(const std::string& path, int64_t first_header);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_CODE_PAGE_H_
