#include "tests/ui/win32/desktop_driver.h"

#include <commctrl.h>

#include <cstdint>

#include "platform/win32/win32_text.h"

namespace {

constexpr int kPollMs = 50;

struct Search {
  DWORD pid;
  const wchar_t* window_class;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || !IsWindowVisible(hwnd)) return TRUE;
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  if (wcscmp(name, search->window_class) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindVisible(DWORD pid, const wchar_t* window_class) {
  Search search{pid, window_class, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool Ended(const PROCESS_INFORMATION& process) {
  return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
}

// Pixels of a screen rectangle, 32 bits each (blue, green, red, unused).
std::vector<uint32_t> Capture(const RECT& r) {
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  std::vector<uint32_t> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    pixels.assign(p, p + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

BOOL CALLBACK FindIcon(HWND hwnd, LPARAM lparam) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  if (_wcsicmp(name, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(hwnd) &&
      SendMessageW(hwnd, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<HWND*>(lparam) = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindPrompt(HWND hwnd, LPARAM lparam) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  if (_wcsicmp(name, L"Static") == 0 && (style & SS_TYPEMASK) != SS_ICON &&
      GetWindowTextLengthW(hwnd) > 0) {
    *reinterpret_cast<HWND*>(lparam) = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindTree(HWND hwnd, LPARAM lparam) {
  wchar_t name[32] = {};
  GetClassNameW(hwnd, name, 32);
  if (_wcsicmp(name, WC_TREEVIEWW) == 0) {
    *reinterpret_cast<HWND*>(lparam) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The icon of a box, told by its colours as a user would: the stop icon is red, the
// information icon blue.
SeenIcon IconOf(HWND box) {
  HWND icon = nullptr;
  EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
  if (icon == nullptr) return SeenIcon::kNone;
  RECT r;
  GetWindowRect(icon, &r);
  for (int attempt = 0; attempt < 60; ++attempt) {
    long long red = 0;
    long long blue = 0;
    for (uint32_t p : Capture(r)) {
      const int b = p & 0xFF;
      const int g = (p >> 8) & 0xFF;
      const int rd = (p >> 16) & 0xFF;
      if (rd > g + 60 && rd > b + 60) ++red;
      if (b > rd + 60) ++blue;
    }
    if (red > blue * 2 && red > 20) return SeenIcon::kStop;
    if (blue > red * 2 && blue > 20) return SeenIcon::kInformation;
    Sleep(kPollMs);  // not painted yet
  }
  return SeenIcon::kOther;
}

}  // namespace

std::optional<Box> WaitForBox(const PROCESS_INFORMATION& process, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += kPollMs) {
    HWND hwnd = FindVisible(process.dwProcessId, L"#32770");
    if (hwnd != nullptr) {
      // A box is shown a moment before its title and prompt are filled in: every box of the
      // program has both, so one without them is not ready yet.
      Box box{hwnd, TextOf(hwnd), "", SeenIcon::kNone};
      HWND prompt = nullptr;
      EnumChildWindows(hwnd, FindPrompt, reinterpret_cast<LPARAM>(&prompt));
      if (prompt != nullptr) box.text = TextOf(prompt);
      if (!box.title.empty() && !box.text.empty()) {
        box.icon = IconOf(hwnd);
        return box;
      }
    }
    if (Ended(process)) return std::nullopt;
    Sleep(kPollMs);
  }
  return std::nullopt;
}

HWND WaitForMainWindow(const PROCESS_INFORMATION& process, std::vector<Box>* boxes_before,
                       int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += kPollMs) {
    if (FindVisible(process.dwProcessId, L"#32770") != nullptr) {
      if (boxes_before == nullptr) return nullptr;
      std::optional<Box> box = WaitForBox(process, 0);
      if (box) {
        boxes_before->push_back(*box);
        PressOk(*box);
      }
      continue;
    }
    if (HWND main = FindVisible(process.dwProcessId, L"DizorK.Form1")) return main;
    if (Ended(process)) return nullptr;
    Sleep(kPollMs);
  }
  return nullptr;
}

void PressOk(const Box& box) { PressButton(box, IDOK); }

void PressButton(const Box& box, int id) {
  PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, id)));
  for (int waited = 0; waited <= 10000; waited += kPollMs) {
    if (!IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd)) return;
    Sleep(kPollMs);
  }
}

bool SelectTreeTop(const Box& dialog) {
  // The tree is filled a moment after the dialog shows, and what it selects by itself
  // differs between systems, so the test chooses the top item (the desktop) itself.
  HWND tree = nullptr;
  for (int waited = 0; waited <= 10000; waited += kPollMs) {
    if (tree == nullptr) EnumChildWindows(dialog.hwnd, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (tree != nullptr) {
      const LPARAM top = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
      if (top != 0) {
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, top);
        if (SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) == top) return true;
      }
    }
    Sleep(kPollMs);
  }
  return false;
}

HWND Control(HWND main_window, int id) { return GetDlgItem(main_window, id); }

bool IsShown(HWND control) { return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

bool IsEnabled(HWND control) { return IsWindowEnabled(control) != FALSE; }

bool IsChecked(HWND control) { return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string TextOf(HWND window) {
  // Asked with WM_GETTEXT: GetWindowText does not ask another process's edit box for its text.
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 2000, &length);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_NORMAL, 2000, &copied);
  text.resize(static_cast<size_t>(copied));
  return win32_text::Narrow(text);
}

void Click(HWND main_window, int id) {
  // Sent, not posted: the click is handled (and drawn) when this returns. A click that opens
  // a modal box would return only when the box closes, so tests post those instead; one that
  // ends the program returns when it is gone.
  SendMessageTimeoutW(main_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(Control(main_window, id)), SMTO_NORMAL, 10000,
                      nullptr);
}

void TypeText(HWND main_window, int id, const std::wstring& text) {
  SendMessageW(Control(main_window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<int> FocusOrder(HWND main_window) {
  // Tab walks the children in this order. (Windows itself keeps the tab stop of an option
  // button on the selected one only, so WS_TABSTOP alone does not tell the order.)
  std::vector<int> ids;
  for (HWND child = GetWindow(main_window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & BS_TYPEMASK) == BS_GROUPBOX && (style & WS_TABSTOP) == 0) continue;
    ids.push_back(GetDlgCtrlID(child));
  }
  return ids;
}

bool SaveScreenshot(HWND window, const std::wstring& bmp_path) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const std::vector<uint32_t> pixels = Capture(r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (pixels.empty()) return false;
  const int row_size = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(row_size * height);
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  for (int y = height - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(row_size), '\0');
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3] = static_cast<char>(p & 0xFF);
      row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
    }
    bytes += row;
  }
  HANDLE out = CreateFileW(bmp_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(out);
  return ok;
}
