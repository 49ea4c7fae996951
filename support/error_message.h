// The texts of the fixed boxes: the error report of the start-up trap, the generic report of
// an error nothing trapped, and the About box.
#ifndef DIZOR_SUPPORT_ERROR_MESSAGE_H_
#define DIZOR_SUPPORT_ERROR_MESSAGE_H_

#include <cstdint>
#include <string>

class UserInterface;

namespace ErrorMessage {

// Five lines joined by CR LF, no line break after the last.
std::string ReportText(int32_t number, const std::string& description);

// Shows the report: OK only, no icon, the application title.
void ShowError(UserInterface& ui, int32_t number, const std::string& description);

// Shows the generic box of a run-time error that nothing trapped: the stop icon, the
// application title, "実行時エラー 'N':" and the description.
void ShowUnhandledError(UserInterface& ui, int32_t number, const std::string& description);

}  // namespace ErrorMessage

// Four lines joined by CR LF: name and version, author, home page, mail.
std::string AboutText();

#endif  // DIZOR_SUPPORT_ERROR_MESSAGE_H_
