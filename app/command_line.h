// The list of archives handed to the program, and the split of a Windows command-line text
// into it: blanks separate paths, and a path with blanks is enclosed in double quotes. The
// split runs in two passes that count independently; for unusual texts (runs of blanks, stray
// quotes) they disagree, and the second pass then stops with the subscript-out-of-range error.
#ifndef DIZOR_APP_COMMAND_LINE_H_
#define DIZOR_APP_COMMAND_LINE_H_

#include <cstdint>
#include <string>
#include <vector>

// Paths numbered 1 to count.
struct FileList {
  std::vector<std::string> entries;  // entries[0] is number 1
  int32_t count = 0;

  // Entry `number` (1-based); throws RuntimeError 9 outside 1..entries.size().
  const std::string& operator()(int32_t number) const;
};

namespace Module1 {

// Pass 1 then pass 2: `text` becomes the protected text; `list` is created anew. Errors of
// either pass (RuntimeError 9) go to the caller.
void SplitCommandLine(std::string& text, FileList& list);

// Pass 1: adds the framing blanks to `text`, writes the protected text (quotes removed, each
// blank inside quotes replaced by "*") and returns the number of paths counted.
int32_t NormalizeCommandLine(std::string& text, std::string& protected_text);

// Pass 2: sizes `list` to `count`, cuts the protected text at its blanks, and turns each "*"
// back into a blank. Throws RuntimeError 9 when count < 1 (nothing changed) or when there are
// more pieces than count (the entries stored so far stay).
void FillFileList(const std::string& protected_text, int32_t count, FileList& list);

// The Linux programs get their arguments already split: each one is an entry, byte for byte.
void UseArguments(const std::vector<std::string>& args, FileList& list);

}  // namespace Module1

#endif  // DIZOR_APP_COMMAND_LINE_H_
