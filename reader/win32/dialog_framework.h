#pragma once
// A small dialog framework over plain Win32: just what the reader's dialogs
// need. An application object routes every message the thread's loops
// retrieve through PreTranslateMessage (its own loops directly, the system's
// menu and message-box loops through a message-filter hook); dialogs run
// modelessly or in a modal loop of ours; a control can be subclassed so that
// a C++ object handles its messages and the notifications its dialog reflects
// back to it.
//
// Everything belongs to one thread. No C++ exception ever leaves a window
// procedure or a hook: what escapes a handler is handed to
// Application::OnCallbackException and ends there.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <exception>
#include <string>

namespace reader {

class Application;

// A C++ object attached to a window (a dialog or a subclassed control). The
// window's property "VpWindowObject" points back at the object while it is
// attached.
class WindowObject {
 public:
  WindowObject() = default;
  WindowObject(const WindowObject&) = delete;
  WindowObject& operator=(const WindowObject&) = delete;
  virtual ~WindowObject();

  HWND Handle() const { return hwnd_; }
  // The object attached to `hwnd`, or null.
  static WindowObject* FromHandle(HWND hwnd);

  // Gets the first look at a message that the thread's loop retrieved for this
  // window or one of its children; true when it was handled and must not be
  // dispatched.
  virtual bool PreTranslateMessage(MSG& msg);

  // Notifications a parent dialog reflects back to the control they came
  // from: WM_COMMAND (`code` is the notification) and the colour requests
  // (WM_CTLCOLOR*). The defaults handle nothing (false, and a null brush).
  virtual bool OnReflectedCommand(UINT code);
  virtual HBRUSH OnReflectedColour(HDC dc);

 protected:
  void Attach(HWND hwnd);
  void Detach();

  HWND hwnd_ = nullptr;
};

// A dialog from a template of the application's resource module. Modeless
// (Create) or modal (DoModal: our own loop, with the owner disabled while it
// runs). The window is destroyed with the object.
class Dialog : public WindowObject {
 public:
  explicit Dialog(int templateId);
  ~Dialog() override;

  // Creates the window modelessly with `owner` (may be null). False when the
  // template or a control class is missing.
  bool Create(HWND owner);
  // Creates the window, shows it and runs a modal loop until EndDialog; the
  // owner (`owner`, or else the application's main window) is disabled
  // meanwhile. Returns the code given to EndDialog, -1 when the window could
  // not be made or the loop ended with WM_QUIT. The window is destroyed again.
  int DoModal(HWND owner = nullptr);
  // Runs a modal loop on the existing window until EndDialog; returns its code
  // (-1 after WM_QUIT). The window stays.
  int RunModalLoop();
  // Ends the modal loop that runs on this dialog, if one runs; outside a loop
  // it does nothing (a modeless window stays as it is).
  void EndDialog(int code);
  bool InModalLoop() const { return inModalLoop_; }

  HWND Item(int id) const;
  void SetItemText(int id, const char* text);
  std::string ItemText(int id) const;
  void ShowItem(int id, bool show);
  void EnableItem(int id, bool enable);
  void SetCaption(const char* text);

  // Keyboard and mouse input goes through IsDialogMessage (tab, enter, escape).
  bool PreTranslateMessage(MSG& msg) override;

 protected:
  // WM_INITDIALOG; true lets the system put the focus on the first control.
  virtual bool OnInitDialog();
  // IDOK and IDCANCEL commands: end the modal loop with that code.
  virtual void OnOK();
  virtual void OnCancel();
  // Any other message; true when handled, with the dialog procedure's result
  // in `result` (for messages that return a value through DWLP_MSGRESULT the
  // handler sets it itself).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  bool inModalLoop_ = false;
  int result_ = -1;
};

// A control of a dialog whose messages a C++ object handles first (the
// window procedure is replaced; what the object leaves goes to the original).
class SubclassedControl : public WindowObject {
 public:
  ~SubclassedControl() override;

  // Attaches to control `id` of `parent`: PreSubclassWindow runs first, then
  // the window procedure is replaced. False when there is no such control.
  bool SubclassDlgItem(int id, const Dialog& parent);
  // Gives the control its original window procedure back.
  void Unsubclass();

 protected:
  virtual void PreSubclassWindow();
  // The control's own messages; true when handled, with the result in `result`.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The original window procedure's handling.
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC original_ = nullptr;
};

// The thread's application object: the module whose resources the dialogs
// use, the main window that owns dialogs without an explicit owner, the
// message pump, and the message-filter hook. The most recently constructed one
// is current; it must be made and destroyed on the thread that shows the
// dialogs.
class Application {
 public:
  Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  virtual ~Application();

  static Application* Current();

  // The module that holds the dialog templates and icons (default: the
  // module this code is linked into).
  HINSTANCE ResourceInstance() const { return resources_; }
  void SetResourceInstance(HINSTANCE instance) { resources_ = instance; }
  HWND MainWindow() const { return mainWindow_; }
  void SetMainWindow(HWND hwnd) { mainWindow_ = hwnd; }

  virtual bool InitInstance();
  // The first look at every retrieved message: the target window and its
  // parents (WindowObject::PreTranslateMessage), innermost first. True when
  // handled.
  virtual bool PreTranslateMessage(MSG& msg);
  // Waits for one message and handles it (PreTranslateMessage, then
  // translate and dispatch). False when the message was WM_QUIT, which is
  // posted again so that every loop that runs sees it.
  bool PumpMessage();
  // An exception escaped a handler that Win32 called; it was caught at the
  // boundary. The default does nothing more.
  virtual void OnCallbackException(const std::exception_ptr& error) noexcept;

 private:
  static LRESULT CALLBACK MessageFilterHook(int code, WPARAM wParam, LPARAM lParam);

  HINSTANCE resources_ = nullptr;
  HWND mainWindow_ = nullptr;
  HHOOK filterHook_ = nullptr;
  MSG* translating_ = nullptr;  // the message our pump is pre-translating
};

// The module (DLL or program) that contains this code.
HINSTANCE ThisModule();

// The text of a window of this process; empty when it has none.
std::string WindowText(HWND hwnd);

// Makes `icon` the window's large and small icon (WM_SETICON).
void SetWindowIcons(HWND hwnd, HICON icon);

// Reports an exception caught at a Win32 boundary to the current application.
void ReportCallbackException() noexcept;

}  // namespace reader
