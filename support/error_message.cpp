#include "support/error_message.h"

#include "platform/ports.h"
#include "support/texts.h"

namespace ErrorMessage {

std::string ReportText(int32_t number, const std::string& description) {
  std::string text;
  text += texts::kErrorLine1;
  text += "\r\n";
  text += texts::kErrorLine2;
  text += "\r\n";
  text += texts::kErrorLine3;
  text += "\r\n";
  text += texts::kErrorNumberPrefix + std::to_string(number);
  text += "\r\n";
  text += texts::kErrorDescriptionPrefix + description;
  return text;
}

void ShowError(UserInterface& ui, int32_t number, const std::string& description) {
  ui.MsgBox(ReportText(number, description), BoxIcon::kNone, texts::kAppTitle);
}

void ShowUnhandledError(UserInterface& ui, int32_t number, const std::string& description) {
  ui.MsgBox(texts::kUnhandledErrorPrefix + std::to_string(number) + texts::kUnhandledErrorMiddle +
                description,
            BoxIcon::kStop, texts::kAppTitle);
}

}  // namespace ErrorMessage

std::string AboutText() {
  return std::string(texts::kWindowCaption) + "\r\n" + texts::kAboutAuthor + "\r\n" +
         texts::kAboutHomePage + "\r\n" + texts::kAboutMail;
}
