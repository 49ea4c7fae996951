#include "ui/win32/main_window.h"

#include <algorithm>

#include "platform/win32/win32_text.h"
#include "support/texts.h"
#include "ui/win32/layout.h"
#include "ui/win32/resource.h"

namespace {

static_assert(IDC_LAST - IDC_FIRST + 1 == kControlCount, "one identifier per control");
static_assert(IDC_COMMAND3 - IDC_FIRST == static_cast<int>(ControlId::kCommand3));
static_assert(IDC_TEXT1 - IDC_FIRST == static_cast<int>(ControlId::kText1));

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void SetTextIfChanged(HWND hwnd, const std::string& utf8) {
  const std::wstring text = win32_text::Widen(utf8);
  if (WindowText(hwnd) != text) SetWindowTextW(hwnd, text.c_str());
}

// The Win32 class and style that draw one kind of control. Option buttons and check boxes are
// not "auto": Form1 decides what a click selects, and Sync draws it.
void ClassAndStyle(ControlKind kind, const wchar_t** window_class, DWORD* style, DWORD* ex_style) {
  *ex_style = 0;
  switch (kind) {
    case ControlKind::kFrame:
      *window_class = L"BUTTON";
      *style = BS_GROUPBOX;
      return;
    case ControlKind::kOptionButton:
      *window_class = L"BUTTON";
      *style = BS_RADIOBUTTON | WS_TABSTOP;
      return;
    case ControlKind::kCheckBox:
      *window_class = L"BUTTON";
      *style = BS_3STATE | WS_TABSTOP;  // value 2 of a loaded file shows greyed
      return;
    case ControlKind::kTextBox:
      *window_class = L"EDIT";
      *style = ES_AUTOHSCROLL | WS_TABSTOP;
      *ex_style = WS_EX_CLIENTEDGE;
      return;
    case ControlKind::kButton:
      *window_class = L"BUTTON";
      *style = BS_PUSHBUTTON | WS_TABSTOP;
      return;
  }
}

WPARAM CheckState(const Control& c) {
  if (c.kind == ControlKind::kOptionButton) return c.selected ? BST_CHECKED : BST_UNCHECKED;
  switch (c.value) {
    case 1:
      return BST_CHECKED;
    case 2:
      return BST_INDETERMINATE;
    default:
      return BST_UNCHECKED;
  }
}

}  // namespace

MainWindow::~MainWindow() {
  if (font_ != nullptr) DeleteObject(font_);
}

bool MainWindow::Create() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_DIZOR));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = DIZOR_WINDOW_CLASS;
  if (RegisterClassExW(&wc) == 0) {
    ShowLastError(nullptr, texts::kWin32NoWindow, "RegisterClassExW");
    return false;
  }
  // The process is DPI aware through its manifest: the screen's DPI is the system DPI.
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  const PixelRect client = ClientRect(dpi_);
  RECT frame = {0, 0, client.width, client.height};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const std::wstring caption = win32_text::Widen(texts::kWindowCaption);
  hwnd_ = CreateWindowExW(0, DIZOR_WINDOW_CLASS, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                          CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                          nullptr, nullptr, instance_, this);
  if (hwnd_ == nullptr) {
    ShowLastError(nullptr, texts::kWin32NoWindow, "CreateWindowExW");
    return false;
  }
  return CreateControls();
}

bool MainWindow::CreateControls() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  }
  // The design's controls are all created here, whether a mode shows them or not. Frames come
  // first, then the rest in tab order: creation order is the order Tab walks.
  const auto& design = DesignControls("");
  std::array<const Control*, kControlCount> order;
  for (size_t i = 0; i < kControlCount; ++i) order[i] = &design[i];
  std::stable_sort(order.begin(), order.end(),
                   [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
  for (const Control* c : order) {
    const wchar_t* window_class = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    ClassAndStyle(c->kind, &window_class, &style, &ex_style);
    const PixelRect r = ControlRect(design, c->id, dpi_);
    const std::wstring caption =
        c->kind == ControlKind::kTextBox ? std::wstring() : win32_text::Widen(c->caption);
    const int id = IDC_FIRST + static_cast<int>(c->id);
    HWND child =
        CreateWindowExW(ex_style, window_class, caption.c_str(), WS_CHILD | WS_VISIBLE | style,
                        r.left, r.top, r.width, r.height, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (child == nullptr) {
      ShowLastError(nullptr, texts::kWin32NoWindow, "CreateWindowExW");
      return false;
    }
    if (font_ != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  return true;
}

HWND MainWindow::Child(ControlId id) const {
  return GetDlgItem(hwnd_, IDC_FIRST + static_cast<int>(id));
}

void MainWindow::Show(int show_command) {
  Sync();
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
}

void MainWindow::Sync() {
  if (form_ == nullptr) return;
  syncing_ = true;
  SetTextIfChanged(hwnd_, form_->caption());
  for (const Control& c : form_->controls()) {
    HWND child = Child(c.id);
    if (c.kind == ControlKind::kTextBox) {
      SetTextIfChanged(child, c.text);
    } else {
      SetTextIfChanged(child, c.caption);
    }
    if (c.kind == ControlKind::kOptionButton || c.kind == ControlKind::kCheckBox) {
      SendMessageW(child, BM_SETCHECK, CheckState(c), 0);
    }
    const bool shown = (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != c.visible) ShowWindow(child, c.visible ? SW_SHOWNA : SW_HIDE);
    if ((IsWindowEnabled(child) != FALSE) != c.enabled) EnableWindow(child, c.enabled);
  }
  syncing_ = false;
}

int MainWindow::RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab and Shift+Tab move through the controls as in a dialog; Enter and Escape come back
    // as WM_COMMAND IDOK and IDCANCEL.
    if (IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      // The title bar's close: the program ends without saving.
      if (form_ != nullptr) {
        form_->CloseWindow();
        Sync();
      } else {
        DestroyWindow(hwnd_);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

void MainWindow::OnCommand(int id, int code) {
  if (form_ == nullptr) return;
  // IsDialogMessageW turns Enter into IDOK and Escape into IDCANCEL (the window is no dialog,
  // so it has no default button of its own): Form1 decides which button each presses.
  if (id == IDOK || id == IDCANCEL) {
    form_->PressKey(id == IDOK ? Form1::Key::kEnter : Form1::Key::kEscape);
    Sync();
    return;
  }
  if (id < IDC_FIRST || id > IDC_LAST) return;
  const auto control = static_cast<ControlId>(id - IDC_FIRST);
  if (control == ControlId::kText1) {
    if (code == EN_CHANGE && !syncing_) {
      form_->EditText1(win32_text::Narrow(WindowText(Child(ControlId::kText1))));
    }
    return;
  }
  if (code != BN_CLICKED) return;
  form_->Click(control);
  Sync();
}
