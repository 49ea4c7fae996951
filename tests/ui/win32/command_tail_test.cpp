#include "ui/win32/command_tail.h"

#include <gtest/gtest.h>

namespace {

struct TailCase {
  const wchar_t* command_line;
  const wchar_t* tail;
};

TEST(CommandTail, SkipsTheProgramNameAndOneSeparator) {
  const TailCase cases[] = {
      // How Explorer starts a program on a dropped file.
      {LR"("C:\Program Files\Dizor\Dizor-K.exe" "C:\dl\a b.zip")", LR"("C:\dl\a b.zip")"},
      {LR"("C:\Program Files\Dizor\Dizor-K.exe" C:\dl\a.zip D:\b.lzh)", LR"(C:\dl\a.zip D:\b.lzh)"},
      {LR"(C:\Dizor\Dizor-K.exe C:\a.zip)", LR"(C:\a.zip)"},
      {L"Dizor-K.exe\tC:\\a.zip", LR"(C:\a.zip)"},
      // No arguments at all: settings mode.
      {LR"("C:\Program Files\Dizor\Dizor-K.exe")", L""},
      {LR"(Dizor-K.exe)", L""},
      {L"", L""},
      // Only the one separating blank goes; what follows is the user's text as it stands, and
      // the split judges it (a second blank is an empty path for it).
      {LR"(Dizor-K.exe )", L""},
      {LR"(Dizor-K.exe  C:\a.zip)", LR"( C:\a.zip)"},
      {LR"("Dizor-K.exe"  "C:\a.zip" )", LR"( "C:\a.zip" )"},
      // A quoted name ends at its closing quote, even with no blank after it.
      {LR"("C:\My Tools\Dizor-K.exe"C:\a.zip)", LR"(C:\a.zip)"},
      // A blank inside the quoted name is part of the name, not the separator.
      {LR"("C:\My Tools\Dizor-K.exe" x)", L"x"},
      // A quote in the middle of an unquoted name does not protect blanks.
      {LR"(C:\My"Tools x\Dizor-K.exe" y)", LR"(x\Dizor-K.exe" y)"},
      // No closing quote: the whole text is the name.
      {LR"("C:\Dizor-K.exe C:\a.zip)", L""},
      // Non-ASCII paths pass through untouched.
      {L"Dizor-K.exe \"C:\\\u8868\u30bd\\\u89e3\u51cd.lzh\"",
       L"\"C:\\\u8868\u30bd\\\u89e3\u51cd.lzh\""},
  };
  for (const TailCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "command line: [" << std::wstring(c.command_line) << "]");
    EXPECT_EQ(CommandTail(c.command_line), c.tail);
  }
}

}  // namespace
