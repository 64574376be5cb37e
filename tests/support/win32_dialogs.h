#pragma once
// Driving the reader's dialogs from a second thread of the same process (or
// from another process): find a window by what it holds, wait for it
// (polling a condition, never a fixed sleep), type into it, press its
// buttons, play the user while the dialogs run, and photograph a window as
// PNG.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace dlgtest {

// Dialog-class windows are "#32770"; the message box's text static has id 0xFFFF.
inline constexpr int kMessageBoxTextId = 0xFFFF;

inline std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  ::GetClassNameA(hwnd, name, sizeof name);
  return name;
}

// The window's text, asked for with WM_GETTEXT (also across processes), so
// the window's thread must be pumping.
inline std::string TextOf(HWND hwnd) {
  if (hwnd == nullptr) return "<no window>";
  char text[4096] = {};
  ::SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

inline std::string ItemText(HWND dialog, int id) { return TextOf(::GetDlgItem(dialog, id)); }

inline bool ItemVisible(HWND dialog, int id) {
  const HWND item = ::GetDlgItem(dialog, id);
  return item != nullptr && (::GetWindowLongPtrA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

struct DialogSearch {
  DWORD pid;
  std::vector<HWND> found;
};

inline BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  if ((search->pid == 0 || owner == search->pid) && ::IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770") search->found.push_back(hwnd);
  return TRUE;
}

// Visible top-level dialogs of process `pid` (default: this one; 0: any
// process), in z-order.
inline std::vector<HWND> VisibleDialogs(DWORD pid = ::GetCurrentProcessId()) {
  DialogSearch search{pid, {}};
  ::EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The first visible dialog of process `pid` that has a control `id` (and,
// when given, the caption `caption`); null when there is none.
inline HWND FindDialog(int id, const char* caption = nullptr, DWORD pid = ::GetCurrentProcessId()) {
  for (HWND hwnd : VisibleDialogs(pid)) {
    if (::GetDlgItem(hwnd, id) == nullptr) continue;
    if (caption != nullptr && TextOf(hwnd) != caption) continue;
    return hwnd;
  }
  return nullptr;
}

using Clock = std::chrono::steady_clock;

// Polls `condition` every 10 ms until it holds or `timeoutMs` passed.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 15000) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Waits for a visible dialog with control `id` (and caption) in process
// `pid`; null on time-out.
inline HWND WaitForDialog(int id, const char* caption = nullptr, DWORD pid = ::GetCurrentProcessId(),
                          int timeoutMs = 15000) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindDialog(id, caption, pid)) != nullptr; }, timeoutMs);
  return found;
}

// Runs `call` on this thread, which shows dialogs and returns when the user
// is done with them, while `user` plays the user on a second thread. Once
// `user` is done, whatever dialog is still up after a grace period is
// cancelled, so that a failed expectation never leaves the test hanging;
// false when that was needed.
inline bool PlayTheUser(const std::function<void()>& call, const std::function<void()>& user) {
  std::atomic<bool> done{false};
  bool cancelled = false;
  std::thread driver([&] {
    user();
    if (WaitUntil([&] { return done.load(); }, 10000)) return;
    cancelled = true;
    WaitUntil(
        [&] {
          for (HWND hwnd : VisibleDialogs()) ::PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
          return done.load();
        },
        60000);
  });
  call();
  done = true;
  driver.join();
  return !cancelled;
}

// Types `text` into control `id` (WM_SETTEXT, handled by the dialog's thread).
inline void Type(HWND dialog, int id, const char* text) {
  ::SendMessageA(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// The control that has the keyboard focus in `dialog`'s thread.
inline HWND FocusedControl(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

// Presses button `id`. Posted, not sent: the button's handler may run a whole
// decoding with nested dialogs before it returns.
inline void Press(HWND dialog, int id) { ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Clicks the middle of control `id` with the left button, as a mouse would.
inline void ClickItem(HWND dialog, int id) {
  const HWND item = ::GetDlgItem(dialog, id);
  RECT r;
  ::GetClientRect(item, &r);
  const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
  ::PostMessageA(item, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageA(item, WM_LBUTTONUP, 0, at);
}

// Whether control `id` is wide enough for its text on one line, in the font it uses.
inline bool TextFits(HWND dialog, int id) {
  const HWND item = ::GetDlgItem(dialog, id);
  const std::string text = TextOf(item);
  HDC dc = ::GetDC(item);
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(item, WM_GETFONT, 0, 0));
  const HGDIOBJ old = ::SelectObject(dc, font);
  SIZE extent{};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc, old);
  ::ReleaseDC(item, dc);
  RECT client;
  ::GetClientRect(item, &client);
  return extent.cx <= client.right - client.left;
}

// The colour of the centre pixel of an icon's colour image.
inline COLORREF IconCentreColour(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !::GetIconInfo(icon, &info)) return CLR_INVALID;
  COLORREF colour = CLR_INVALID;
  BITMAP bm{};
  if (info.hbmColor != nullptr && ::GetObjectA(info.hbmColor, sizeof bm, &bm) != 0) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, info.hbmColor);
    colour = ::GetPixel(dc, bm.bmWidth / 2, bm.bmHeight / 2);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
  }
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
  return colour;
}

// An 8-bit RGB PNG (rows top-down, 3 bytes per pixel).
inline std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto put32 = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, static_cast<std::uint32_t>(::crc32(0, body.data(), static_cast<uInt>(body.size()))));
  };
  std::vector<std::uint8_t> header;
  put32(header, static_cast<std::uint32_t>(width));
  put32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  chunk("IHDR", header);
  std::vector<std::uint8_t> raw;
  const auto stride = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
  }
  uLongf size = ::compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(size);
  ::compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  packed.resize(size);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return png;
}

inline BOOL CALLBACK NotePendingPaint(HWND hwnd, LPARAM param) {
  if (::GetUpdateRect(hwnd, nullptr, FALSE)) *reinterpret_cast<bool*>(param) = true;
  return TRUE;
}

// Whether the window and all its controls have painted what they were asked
// to (no update region left anywhere).
inline bool PaintedThrough(HWND hwnd) {
  bool pending = ::GetUpdateRect(hwnd, nullptr, FALSE) != FALSE;
  ::EnumChildWindows(hwnd, &NotePendingPaint, reinterpret_cast<LPARAM>(&pending));
  return !pending;
}

// The window as it is drawn on the screen, caption and frame included, once
// it and its controls have finished painting (its own thread paints it; a
// sent WM_NULL makes sure that thread is past the paint it was doing).
// Returns false when nothing could be captured.
inline bool CaptureWindow(HWND hwnd, int& width, int& height, std::vector<std::uint8_t>& rgb) {
  RECT r;
  if (!::GetWindowRect(hwnd, &r)) return false;
  width = r.right - r.left;
  height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr) {
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    WaitUntil([&] { return PaintedThrough(hwnd); }, 5000);
    ::SendMessageA(hwnd, WM_NULL, 0, 0);
    HDC window = ::GetWindowDC(hwnd);
    ok = window != nullptr && ::BitBlt(dc, 0, 0, width, height, window, 0, 0, SRCCOPY) != 0;
    if (window != nullptr) ::ReleaseDC(hwnd, window);
    ::GdiFlush();
    ::SelectObject(dc, old);
    if (ok) {
      const auto* bgra = static_cast<const std::uint8_t*>(bits);
      rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
      for (std::size_t i = 0, n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height); i < n; ++i) {
        rgb[i * 3] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4];
      }
    }
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

// Saves the window as `directory`/`name`.png; false when it could not.
inline bool Screenshot(HWND hwnd, const std::string& directory, const std::string& name) {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  if (!CaptureWindow(hwnd, width, height, rgb)) return false;
  const std::vector<std::uint8_t> png = EncodePng(width, height, rgb);
  ::CreateDirectoryA(directory.c_str(), nullptr);
  const std::string path = directory + "\\" + name + ".png";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace dlgtest
