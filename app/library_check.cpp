// The start-up check of which archiver libraries are installed, with one box per missing one.
#include "app/form1.h"
#include "support/texts.h"

void Form1::DllCheck() {
  // The settings are read before this check, so that "do not warn" is honoured.
  const bool warn = Check1(2).value != 1;
  libraries_.Check([&](const char* text) {
    if (warn) MsgBox(text, BoxIcon::kStop, texts::kTitleError);
  });
}
