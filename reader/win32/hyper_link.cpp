#include "reader/win32/hyper_link.h"

#include <commctrl.h>

#include "reader/gui_interface.h"
#include "reader/link_address.h"
#include "reader/os_interface.h"

namespace reader {

namespace {

constexpr UINT_PTR kToolId = 1;
constexpr WORD kHandCursorId = 106;

void FillTool(TTTOOLINFOA& tool, HWND control, const std::string& text) {
  tool = {};
  // The size of the version-5 structure: comctl32 5 (no manifest) refuses
  // the larger one.
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = 0;
  tool.hwnd = control;
  tool.uId = kToolId;
  ::GetClientRect(control, &tool.rect);
  tool.lpszText = const_cast<char*>(text.c_str());
}

}  // namespace

CHyperLink::CHyperLink() : hoverColour_(::GetSysColor(COLOR_HIGHLIGHT)) {}

CHyperLink::~CHyperLink() {
  if (toolTip_ != nullptr) ::DestroyWindow(toolTip_);
  Unsubclass();
  if (underlineFont_ != nullptr) ::DeleteObject(underlineFont_);
  if (ownCursor_ && linkCursor_ != nullptr) ::DestroyCursor(linkCursor_);
}

void CHyperLink::PreSubclassWindow() {
  const HWND hwnd = hwnd_;
  ::SetWindowLongPtrA(hwnd, GWL_STYLE, ::GetWindowLongPtrA(hwnd, GWL_STYLE) | SS_NOTIFY);

  const std::string text = WindowText(hwnd);
  if (url_.empty()) url_ = text;
  if (text.empty()) ::SetWindowTextA(hwnd, url_.c_str());

  auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
  if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA description{};
  if (::GetObjectA(font, sizeof description, &description) != 0) {
    description.lfUnderline = underline_ ? TRUE : FALSE;
    if (underlineFont_ != nullptr) ::DeleteObject(underlineFont_);
    underlineFont_ = ::CreateFontIndirectA(&description);
    if (underlineFont_ != nullptr) ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(underlineFont_), TRUE);
  }

  PositionWindow();
  SetDefaultCursor();

  if (toolTip_ == nullptr) {
    toolTip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(hwnd), nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
  }
  if (toolTip_ != nullptr) {
    TTTOOLINFOA tool;
    FillTool(tool, hwnd, url_);
    ::SendMessageA(toolTip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void CHyperLink::SetUrl(const char* url) {
  url_ = url != nullptr ? url : "";
  if (hwnd_ == nullptr) return;
  PositionWindow();
  if (toolTip_ != nullptr) {
    TTTOOLINFOA tool;
    FillTool(tool, hwnd_, url_);
    ::SendMessageA(toolTip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void CHyperLink::SetVisited(bool visited) {
  visited_ = visited;
  if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

COLORREF CHyperLink::CurrentColour() const {
  if (overControl_) return hoverColour_;
  return visited_ ? visitedColour_ : linkColour_;
}

void CHyperLink::PositionWindow() {
  const HWND hwnd = hwnd_;
  if (hwnd == nullptr || !adjustToFit_) return;
  const HWND parent = ::GetParent(hwnd);
  RECT rect;
  ::GetWindowRect(hwnd, &rect);
  if (parent != nullptr) {
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    if ((::GetWindowLongPtrA(parent, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0) {
      const LONG left = rect.left;
      rect.left = rect.right;
      rect.right = left;
    }
  }

  const std::string text = WindowText(hwnd);
  SIZE extent{};
  if (HDC dc = ::GetDC(hwnd)) {
    const HGDIOBJ old = underlineFont_ != nullptr ? ::SelectObject(dc, underlineFont_) : nullptr;
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (old != nullptr) ::SelectObject(dc, old);
    ::ReleaseDC(hwnd, dc);
  }

  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(hwnd, GWL_STYLE));
  if ((style & SS_CENTERIMAGE) != 0) {
    const LONG shrink = (rect.bottom - rect.top - extent.cy) / 2;
    rect.top += shrink;
    rect.bottom -= shrink;
  } else {
    rect.bottom = rect.top + extent.cy;
  }
  const DWORD align = style & SS_TYPEMASK;
  if (align == SS_CENTER) {
    const LONG shrink = (rect.right - rect.left - extent.cx) / 2;
    rect.left += shrink;
    rect.right -= shrink;
  } else if (align == SS_RIGHT) {
    rect.left = rect.right - extent.cx;
  } else {
    rect.right = rect.left + extent.cx;
  }
  ::SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHyperLink::SetDefaultCursor() {
  if (linkCursor_ != nullptr) return;
  char directory[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryA(directory, MAX_PATH);
  if (length > 0 && length < MAX_PATH - 16) {
    std::string path(directory, length);
    path += "\\winhlp32.exe";
    // Mapped as resources only: nothing of the program is run or bound.
    if (HMODULE library = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
      if (HCURSOR hand = ::LoadCursorA(library, MAKEINTRESOURCEA(kHandCursorId))) {
        linkCursor_ = reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(hand)));
        ownCursor_ = linkCursor_ != nullptr;
      }
      ::FreeLibrary(library);
    }
  }
  // Where that program is gone (every Windows since Vista), the system's own
  // hand serves.
  if (linkCursor_ == nullptr) linkCursor_ = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
}

bool CHyperLink::PreTranslateMessage(MSG& msg) {
  if (toolTip_ != nullptr && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
    ::SendMessageA(toolTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  return SubclassedControl::PreTranslateMessage(msg);
}

bool CHyperLink::OnReflectedCommand(UINT code) {
  if (code != STN_CLICKED) return false;
  // The address may come from the document: only web and mail addresses are
  // handed to the system, anything else could start a program.
  if (IsOpenableLinkAddress(url_.c_str())) {
    OsInterface* os = OsInterface::Current();
    GuiInterface* gui = GuiInterface::Current();
    if (os != nullptr && gui != nullptr) os->LaunchFile(*gui, url_.c_str(), /*checkType=*/false);
  }
  SetVisited(true);
  return true;
}

HBRUSH CHyperLink::OnReflectedColour(HDC dc) {
  ::SetTextColor(dc, CurrentColour());
  ::SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(HOLLOW_BRUSH));
}

void CHyperLink::Redraw() {
  const HWND parent = ::GetParent(hwnd_);
  if (parent == nullptr) {
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return;
  }
  RECT rect;
  ::GetWindowRect(hwnd_, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  ::RedrawWindow(parent, &rect, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_SETCURSOR:
      if (linkCursor_ == nullptr) return false;
      ::SetCursor(linkCursor_);
      result = TRUE;
      return true;
    case WM_MOUSEMOVE: {
      result = Default(message, wParam, lParam);
      if (overControl_) {
        RECT client;
        ::GetClientRect(hwnd_, &client);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (!::PtInRect(&client, point)) {
          overControl_ = false;
          ::ReleaseCapture();
          Redraw();
        }
      } else {
        overControl_ = true;
        Redraw();
        ::SetCapture(hwnd_);
      }
      return true;
    }
    case WM_DESTROY:
      // The tooltip belongs to the parent dialog, which is going too.
      if (toolTip_ != nullptr) {
        ::DestroyWindow(toolTip_);
        toolTip_ = nullptr;
      }
      return false;
    case WM_CAPTURECHANGED:
      // Another window took the mouse (a menu, a dialog): the pointer is no
      // longer ours to follow.
      if (overControl_ && reinterpret_cast<HWND>(lParam) != hwnd_) {
        overControl_ = false;
        Redraw();
      }
      return false;
    default:
      return false;
  }
}

}  // namespace reader
