// The program's one window on Windows. It draws Form1's state in real controls, forwards the
// user's clicks and typing to Form1's handlers, and answers the core's UserInterface port
// (message boxes, the folder picker, the end of the program).
#ifndef DIZOR_UI_WIN32_MAIN_WINDOW_H_
#define DIZOR_UI_WIN32_MAIN_WINDOW_H_

#include "platform/win32/win32_api.h"

#include <optional>
#include <string>

#include "app/form1.h"
#include "platform/ports.h"

class MainWindow : public UserInterface {
 public:
  explicit MainWindow(HINSTANCE instance) : instance_(instance) {}
  ~MainWindow() override;

  // Creates the window, hidden, with every control. False after the failure was reported.
  bool Create();
  void Attach(Form1* form) { form_ = form; }
  // Draws the form's state and shows the window.
  void Show(int show_command);
  int RunMessageLoop();

  // UserInterface.
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) override;
  std::string BrowseFolder(const std::string& title) override;
  void EndProgram() override;
  void* WindowHandle() override { return hwnd_; }
  // The family's libraries ask for passwords and show their progress themselves, in windows
  // of their own: the program is never asked.
  std::optional<std::string> AskPassword(const std::string&, bool) override { return std::nullopt; }
  bool ShowProgress(const std::string&, const ExtractionProgress&) override { return true; }
  void EndProgress() override {}

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool CreateControls();
  void OnCommand(int id, int code);
  void Sync();
  HWND Child(ControlId id) const;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  Form1* form_ = nullptr;
  int dpi_ = 96;
  bool syncing_ = false;  // the text box's change notices while Sync writes it are not typing
};

// Reports a failed Win32 call in a box: what failed, the function's name, and the system's
// message for GetLastError().
void ShowLastError(HWND owner, const std::string& what, const char* function);

#endif  // DIZOR_UI_WIN32_MAIN_WINDOW_H_
