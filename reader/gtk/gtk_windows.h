#pragma once
// The windows of the desktop interface, on GTK 4: a modal window with a
// header bar and a row of buttons, and the reader's five windows built on it.
// Every text they show has been through DisplayText; none is markup.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>

#include "desktop/bitmap.h"
#include "security/secret_text.h"

namespace reader {

class MessageCatalogue;

namespace gtkui {

// How the user left a window.
enum class Answer { None, Ok, Cancel };

// A top-level window: a header bar whose title is cut with an ellipsis, a
// body, and buttons at the bottom right. The header bar's close button (and
// the window manager's) and Escape give the close answer, Cancel unless
// changed.
class Window {
 public:
  explicit Window(const char* title);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  GtkWindow* Gtk() const { return GTK_WINDOW(window_); }
  void SetTitle(const char* title);
  // Modal over `parent` (none: on its own).
  void SetParent(GtkWindow* parent);
  // A push button at the end of the button row; the default one is what
  // Enter activates.
  GtkWidget* AddButton(const char* mnemonicLabel, Answer answer, bool isDefault);
  void SetCloseAnswer(Answer answer) { closeAnswer_ = answer; }
  // Called on every answer, also outside Run.
  void OnAnswer(std::function<void(Answer)> handler) { onAnswer_ = std::move(handler); }

  // Shows the window and dispatches events until an answer comes (at once
  // when one came while it was not running).
  Answer Run();
  void Show();
  void Hide();
  bool Visible() const;
  void SetBusy(bool busy);
  // Ends Run with `answer` (what the buttons and the close button call).
  void Give(Answer answer);

 protected:
  GtkBox* Body() const { return GTK_BOX(body_); }
  GtkHeaderBar* HeaderBar() const { return GTK_HEADER_BAR(header_); }

 private:
  static gboolean OnCloseRequest(GtkWindow* window, gpointer self);
  static gboolean OnEscape(GtkWidget* widget, GVariant* args, gpointer self);

  GtkWidget* window_;
  GtkWidget* header_;
  GtkWidget* titleLabel_;
  GtkWidget* body_;
  GtkWidget* buttons_;
  Answer answer_ = Answer::None;
  Answer closeAnswer_ = Answer::Cancel;
  std::function<void(Answer)> onAnswer_;
};

// A plain label: left-aligned; `wrap` breaks long lines (anywhere, for words
// longer than a line) at about 50 characters.
GtkWidget* TextLabel(const std::string& text, bool wrap);
// `child` in a scrolled area that grows with it up to `maxHeight` pixels.
GtkWidget* Scrolled(GtkWidget* child, int maxHeight);
// A picture of `bitmap` at its own size (an empty bitmap gives an empty image).
GtkWidget* Picture(const desktop::Bitmap& bitmap);

// The credentials prompt: the document's icon, its prompt text, one or two
// fields under the catalogue's labels, the document's link, Cancel and OK.
class PromptWindow : public Window {
 public:
  // `openLink` is called with the address when the link is clicked; `about`
  // when the header bar's About button is.
  PromptWindow(MessageCatalogue& texts, bool askUserName, const desktop::Bitmap& icon,
               std::function<void(const char*)> openLink, std::function<void()> about);

  // Focus on the first field that is empty (the user name's, or the password's
  // once a user name is there).
  void FocusFirstEmpty();
  // Fields and buttons take no input while a decoding runs.
  void SetWorking(bool working);
  // The typed user name (empty without its field) and password; the password
  // field is emptied.
  void TakeCredentials(std::string& userName, security::SecretText& password);

 private:
  static gboolean OnLink(GtkLinkButton* button, gpointer self);

  bool askUserName_;
  GtkWidget* first_ = nullptr;   // the user name's entry, or the single password field
  GtkWidget* second_ = nullptr;  // the password entry beside a user name
  GtkWidget* link_ = nullptr;
  std::string url_;
  std::function<void(const char*)> openLink_;
  std::function<void()> about_;
};

// The progress window, which turns into the wait notice: text, progress bar,
// a byte count and Cancel; as the notice, text and OK.
class OpeningWindow : public Window {
 public:
  OpeningWindow();
  void ShowProgress(const char* title, const char* text);
  void ShowNotice(const char* title, const char* text);
  // position of 0..upper; an upper of 0 or less makes the bar pulse.
  void SetProgress(std::int32_t position, std::int32_t upper);
  void SetBytes(std::uint64_t bytes);

 private:
  void Present(const char* title, const char* text, bool notice);

  GtkWidget* text_;
  GtkWidget* bar_;
  GtkWidget* bytes_;
  GtkWidget* cancel_;
  GtkWidget* ok_;
};

// A message box: the kind's icon, the text, OK (and Cancel).
class MessageWindow : public Window {
 public:
  MessageWindow(const char* title, const char* text, std::int32_t kind, bool okCancel);
};

// The question before a part of an unrecognised type is opened.
class UnknownTypeWindow : public Window {
 public:
  explicit UnknownTypeWindow(const char* extension);
  bool AlwaysAsk() const;

 private:
  GtkWidget* alwaysAsk_;
};

// The About box: the product's icon, name, version, notice and the maker's
// web address as a link.
class AboutWindow : public Window {
 public:
  explicit AboutWindow(std::function<void(const char*)> openLink);

 private:
  static gboolean OnLink(GtkLinkButton* button, gpointer self);
  std::function<void(const char*)> openLink_;
};

// Dispatches the events that are waiting, without blocking.
void DispatchPending();

}  // namespace gtkui
}  // namespace reader
