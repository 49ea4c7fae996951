// Drives another process's windows from a test, as a user would see them: finds its message
// boxes and its main window, reads their titles, texts and icons, presses buttons, types into
// the folder box, and saves a screenshot.
#ifndef DIZOR_TESTS_WIN32_DESKTOP_DRIVER_H_
#define DIZOR_TESTS_WIN32_DESKTOP_DRIVER_H_

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class SeenIcon { kNone, kStop, kInformation, kOther };

struct Box {
  HWND hwnd;
  std::string title;  // UTF-8
  std::string text;   // UTF-8, line breaks as in the prompt (CR LF)
  SeenIcon icon;
};

// The next visible message box of `process`; nothing when none appears within `timeout_ms` or
// the process ends first.
std::optional<Box> WaitForBox(const PROCESS_INFORMATION& process, int timeout_ms = 20000);

// The visible main window (class DizorK.Form1) of `process`, or null, likewise. While it
// waits, message boxes that appear are collected into `boxes_before` (each pressed OK) when
// given; otherwise a box before the window counts as failure to appear (null).
HWND WaitForMainWindow(const PROCESS_INFORMATION& process, std::vector<Box>* boxes_before,
                       int timeout_ms = 20000);

// Presses OK (or the button `id`: IDCANCEL, ...) on a box or dialog, and waits until it is gone.
void PressOk(const Box& box);
void PressButton(const Box& box, int id);

// In a folder dialog, selects the top item of its tree (the desktop); false when the tree
// shows no item within a few seconds.
bool SelectTreeTop(const Box& dialog);

// A control of the main window.
HWND Control(HWND main_window, int id);
bool IsShown(HWND control);
bool IsEnabled(HWND control);
bool IsChecked(HWND control);
std::string TextOf(HWND window);  // UTF-8

// A user's click on a control (the notification its parent receives), and typing that
// replaces the text of an edit box.
void Click(HWND main_window, int id);
void TypeText(HWND main_window, int id, const std::wstring& text);
// Ids of the controls that can take the focus (all but the frames), in the order Tab visits
// them.
std::vector<int> FocusOrder(HWND main_window);

// Saves what the screen shows of `window` as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& bmp_path);

#endif  // DIZOR_TESTS_WIN32_DESKTOP_DRIVER_H_
