#include "reader/win32/dialog_framework.h"

#include <vector>

namespace reader {

namespace {

constexpr const char* kObjectProperty = "VpWindowObject";

Application* g_application = nullptr;

bool IsInputMessage(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

std::string WindowText(HWND hwnd) {
  if (hwnd == nullptr) return {};
  const int length = ::GetWindowTextLengthA(hwnd);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

void SetWindowIcons(HWND hwnd, HICON icon) {
  if (hwnd == nullptr) return;
  ::SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void ReportCallbackException() noexcept {
  if (Application* app = Application::Current()) app->OnCallbackException(std::current_exception());
}

// WindowObject

WindowObject::~WindowObject() { Detach(); }

WindowObject* WindowObject::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  return static_cast<WindowObject*>(::GetPropA(hwnd, kObjectProperty));
}

bool WindowObject::PreTranslateMessage(MSG&) { return false; }

bool WindowObject::OnReflectedCommand(UINT) { return false; }

HBRUSH WindowObject::OnReflectedColour(HDC) { return nullptr; }

void WindowObject::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  if (hwnd != nullptr) ::SetPropA(hwnd, kObjectProperty, this);
}

void WindowObject::Detach() {
  if (hwnd_ != nullptr && FromHandle(hwnd_) == this) ::RemovePropA(hwnd_, kObjectProperty);
  hwnd_ = nullptr;
}

// Dialog

Dialog::Dialog(int templateId) : templateId_(templateId) {}

Dialog::~Dialog() {
  if (hwnd_ != nullptr) {
    const HWND hwnd = hwnd_;
    Detach();
    ::DestroyWindow(hwnd);
  }
}

bool Dialog::Create(HWND owner) {
  if (hwnd_ != nullptr) return true;
  Application* app = Application::Current();
  const HINSTANCE resources = app != nullptr ? app->ResourceInstance() : ThisModule();
  const HWND hwnd = ::CreateDialogParamA(resources, MAKEINTRESOURCEA(templateId_), owner, &Dialog::DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) {
    hwnd_ = nullptr;
    return false;
  }
  return true;
}

int Dialog::DoModal(HWND owner) {
  Application* app = Application::Current();
  if (owner == nullptr && app != nullptr) owner = app->MainWindow();
  if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
  // Only an owner that this loop disabled is enabled again afterwards: a
  // nested loop must not wake a window an outer loop keeps disabled.
  const bool disabledOwner = owner != nullptr && ::IsWindowEnabled(owner) && ::EnableWindow(owner, FALSE) == 0;
  result_ = -1;
  if (!Create(owner)) {
    if (disabledOwner) ::EnableWindow(owner, TRUE);
    return -1;
  }
  if (!::IsWindowVisible(hwnd_)) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  const int code = RunModalLoop();
  // Hidden before the owner wakes up, so that the owner, not some other
  // program, becomes the active window.
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  if (disabledOwner) {
    ::EnableWindow(owner, TRUE);
    if (::IsWindowVisible(owner)) ::SetActiveWindow(owner);
  }
  const HWND hwnd = hwnd_;
  Detach();
  ::DestroyWindow(hwnd);
  return code;
}

int Dialog::RunModalLoop() {
  Application* app = Application::Current();
  if (hwnd_ == nullptr || app == nullptr) return -1;
  result_ = -1;
  inModalLoop_ = true;
  while (inModalLoop_) {
    if (!app->PumpMessage()) {
      inModalLoop_ = false;
      return -1;
    }
  }
  return result_;
}

void Dialog::EndDialog(int code) {
  if (!inModalLoop_) return;
  result_ = code;
  inModalLoop_ = false;
  // A handler of a sent message (one that arrived while the loop waited in
  // GetMessage) cannot end the wait by itself: wake the loop.
  if (hwnd_ != nullptr) ::PostMessageA(hwnd_, WM_NULL, 0, 0);
}

HWND Dialog::Item(int id) const { return hwnd_ != nullptr ? ::GetDlgItem(hwnd_, id) : nullptr; }

void Dialog::SetItemText(int id, const char* text) {
  if (hwnd_ != nullptr) ::SetDlgItemTextA(hwnd_, id, text != nullptr ? text : "");
}

std::string Dialog::ItemText(int id) const { return WindowText(Item(id)); }

void Dialog::ShowItem(int id, bool show) {
  if (const HWND item = Item(id)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void Dialog::EnableItem(int id, bool enable) {
  if (const HWND item = Item(id)) ::EnableWindow(item, enable ? TRUE : FALSE);
}

void Dialog::SetCaption(const char* text) {
  if (hwnd_ != nullptr) ::SetWindowTextA(hwnd_, text != nullptr ? text : "");
}

bool Dialog::PreTranslateMessage(MSG& msg) {
  if (hwnd_ == nullptr || !IsInputMessage(msg.message)) return false;
  return ::IsDialogMessageA(hwnd_, &msg) != 0;
}

bool Dialog::OnInitDialog() { return true; }

void Dialog::OnOK() { EndDialog(IDOK); }

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
      dialog = reinterpret_cast<Dialog*>(lParam);
      dialog->Attach(hwnd);
    } else {
      dialog = dynamic_cast<Dialog*>(FromHandle(hwnd));
    }
    if (dialog == nullptr || dialog->hwnd_ != hwnd) return FALSE;
    return dialog->HandleMessage(message, wParam, lParam);
  } catch (...) {
    ReportCallbackException();
    return FALSE;
  }
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: {
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control != nullptr) {
        if (WindowObject* object = FromHandle(control)) {
          if (object != this && object->OnReflectedCommand(HIWORD(wParam))) return TRUE;
        }
      }
      // Menu commands and accelerators have no control; buttons notify with
      // BN_CLICKED, and the dialog manager sends IDOK/IDCANCEL for Enter and
      // Escape.
      if (HIWORD(wParam) == BN_CLICKED || control == nullptr) {
        if (LOWORD(wParam) == IDOK) {
          OnOK();
          return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          OnCancel();
          return TRUE;
        }
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      if (WindowObject* object = FromHandle(reinterpret_cast<HWND>(lParam))) {
        if (object != this) {
          if (HBRUSH brush = object->OnReflectedColour(reinterpret_cast<HDC>(wParam))) {
            return reinterpret_cast<INT_PTR>(brush);
          }
        }
      }
      break;
    }
    case WM_NCDESTROY: {
      INT_PTR result = FALSE;
      OnMessage(message, wParam, lParam, result);
      Detach();
      inModalLoop_ = false;
      return result;
    }
    default:
      break;
  }
  INT_PTR result = FALSE;
  if (OnMessage(message, wParam, lParam, result)) return result;
  return FALSE;
}

// SubclassedControl

SubclassedControl::~SubclassedControl() { Unsubclass(); }

bool SubclassedControl::SubclassDlgItem(int id, const Dialog& parent) {
  const HWND control = parent.Item(id);
  if (control == nullptr) return false;
  Unsubclass();
  hwnd_ = control;
  PreSubclassWindow();
  Attach(control);
  original_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedControl::SubclassProc)));
  return true;
}

void SubclassedControl::Unsubclass() {
  if (hwnd_ == nullptr) return;
  if (original_ != nullptr && ::IsWindow(hwnd_)) {
    ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
  }
  original_ = nullptr;
  Detach();
}

void SubclassedControl::PreSubclassWindow() {}

bool SubclassedControl::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT SubclassedControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  if (original_ == nullptr) return ::DefWindowProcA(hwnd_, message, wParam, lParam);
  return ::CallWindowProcA(original_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* control = dynamic_cast<SubclassedControl*>(FromHandle(hwnd));
  if (control == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  try {
    if (message == WM_NCDESTROY) {
      // The window is going: give it its own procedure back for its last message.
      const WNDPROC original = control->original_;
      control->Unsubclass();
      return original != nullptr ? ::CallWindowProcA(original, hwnd, message, wParam, lParam)
                                 : ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (control->OnMessage(message, wParam, lParam, result)) return result;
    return control->Default(message, wParam, lParam);
  } catch (...) {
    ReportCallbackException();
    return 0;
  }
}

// Application

Application::Application() : resources_(ThisModule()) {
  g_application = this;
  filterHook_ = ::SetWindowsHookExA(WH_MSGFILTER, &Application::MessageFilterHook, nullptr, ::GetCurrentThreadId());
}

Application::~Application() {
  if (filterHook_ != nullptr) ::UnhookWindowsHookEx(filterHook_);
  if (g_application == this) g_application = nullptr;
}

Application* Application::Current() { return g_application; }

bool Application::InitInstance() { return true; }

bool Application::PreTranslateMessage(MSG& msg) {
  for (HWND hwnd = msg.hwnd; hwnd != nullptr;) {
    if (WindowObject* object = WindowObject::FromHandle(hwnd)) {
      if (object->PreTranslateMessage(msg)) return true;
    }
    // Stop at the top-level window: an owner is not a parent.
    if ((::GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) == 0) break;
    hwnd = ::GetParent(hwnd);
  }
  return false;
}

bool Application::PumpMessage() {
  MSG msg;
  const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
  if (got == 0) {
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (got == -1) return false;
  // The message-filter hook must not handle this message a second time when
  // IsDialogMessage passes it to the hook.
  MSG* const outer = translating_;
  translating_ = &msg;
  bool handled = false;
  try {
    handled = PreTranslateMessage(msg);
  } catch (...) {
    translating_ = outer;
    throw;
  }
  translating_ = outer;
  if (!handled) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return true;
}

void Application::OnCallbackException(const std::exception_ptr&) noexcept {}

LRESULT CALLBACK Application::MessageFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  Application* app = g_application;
  // The loops of dialog boxes and message boxes that the system runs hand
  // their messages here (MSGF_DIALOGBOX); a menu's loop keeps its own (its
  // keys must not reach a dialog). A loop of ours pre-translates every message
  // itself, and IsDialogMessage passes that very message here again: each
  // message is handled once.
  auto* msg = reinterpret_cast<MSG*>(lParam);
  if (code == MSGF_DIALOGBOX && app != nullptr && msg != nullptr && msg != app->translating_) {
    MSG* const outer = app->translating_;
    app->translating_ = msg;
    bool handled = false;
    try {
      handled = app->PreTranslateMessage(*msg);
    } catch (...) {
      ReportCallbackException();
    }
    app->translating_ = outer;
    if (handled) return 1;
  }
  return ::CallNextHookEx(app != nullptr ? app->filterHook_ : nullptr, code, wParam, lParam);
}

}  // namespace reader
