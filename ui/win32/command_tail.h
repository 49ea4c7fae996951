// The command-line text of Dizor-K.exe: what follows the program's own name in the text that
// GetCommandLineW gives. The program splits that text itself, so it is handed over as it is.
#ifndef DIZOR_UI_WIN32_COMMAND_TAIL_H_
#define DIZOR_UI_WIN32_COMMAND_TAIL_H_

#include <string>
#include <string_view>

// The program's name is skipped as Windows itself reads it: a name that starts with a double
// quote runs to the next double quote, any other name to the first blank or tab. Then exactly
// one blank or tab, the one that separates the name from the rest, is dropped. Nothing else
// is touched: further leading blanks, trailing blanks and everything between stay, and the
// split treats them as it treats them anywhere (two blanks in a row are a malformed list).
std::wstring CommandTail(std::wstring_view command_line);

#endif  // DIZOR_UI_WIN32_COMMAND_TAIL_H_
