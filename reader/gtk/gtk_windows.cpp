#include "reader/gtk/gtk_windows.h"

#include <algorithm>
#include <string>

#include "desktop/icons.h"
#include "reader/display_text.h"
#include "reader/link_address.h"
#include "reader/message_catalogue.h"
#include "version/version.h"

namespace reader::gtkui {

namespace {

constexpr int kMargin = 18;
constexpr int kSpacing = 12;
constexpr int kWrapCharacters = 50;
constexpr int kMaxTextHeight = 320;
constexpr int kIconSize = 48;

struct ButtonAnswer {
  Window* window;
  Answer answer;
};

void OnButton(GtkButton*, gpointer data) {
  auto* b = static_cast<ButtonAnswer*>(data);
  b->window->Give(b->answer);
}

void FreeButtonAnswer(gpointer data, GClosure*) { delete static_cast<ButtonAnswer*>(data); }

GtkWidget* Box(GtkOrientation orientation, int spacing) { return gtk_box_new(orientation, spacing); }

GtkWidget* ThemeIcon(const char* name) {
  GtkWidget* image = gtk_image_new_from_icon_name(name);
  gtk_image_set_pixel_size(GTK_IMAGE(image), kIconSize);
  gtk_widget_set_valign(image, GTK_ALIGN_START);
  return image;
}

// A link that hands its address to `handler` instead of opening it itself.
GtkWidget* LinkButton(const char* address, const char* text, GCallback handler, gpointer self) {
  const std::string shown = DisplayText(text, kLabelLimits);
  GtkWidget* link = gtk_link_button_new_with_label(address, shown.c_str());
  gtk_widget_set_tooltip_text(link, DisplayText(address, kLabelLimits).c_str());
  if (GtkWidget* label = gtk_button_get_child(GTK_BUTTON(link)); label != nullptr && GTK_IS_LABEL(label)) {
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_label_set_max_width_chars(GTK_LABEL(label), kWrapCharacters);
  }
  g_signal_connect(link, "activate-link", handler, self);
  return link;
}

}  // namespace

void DispatchPending() {
  // Bounded, so that a flood of events cannot keep the flow from going on.
  for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

GtkWidget* TextLabel(const std::string& text, bool wrap) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_max_width_chars(GTK_LABEL(label), kWrapCharacters);
  if (wrap) {
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  } else {
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  }
  return label;
}

GtkWidget* Scrolled(GtkWidget* child, int maxHeight) {
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), child);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), TRUE);
  gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scrolled), maxHeight);
  // A scroll bar that stays, so that a cut text says that there is more.
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scrolled), FALSE);
  gtk_widget_set_hexpand(scrolled, TRUE);
  return scrolled;
}

GtkWidget* Picture(const desktop::Bitmap& bitmap) {
  if (bitmap.width == 0 || bitmap.height == 0) return gtk_image_new();
  GBytes* bytes = g_bytes_new(bitmap.rgba.data(), bitmap.rgba.size());
  GdkTexture* texture = gdk_memory_texture_new(static_cast<int>(bitmap.width), static_cast<int>(bitmap.height),
                                               GDK_MEMORY_R8G8B8A8, bytes, std::size_t{bitmap.width} * 4);
  g_bytes_unref(bytes);
  GtkWidget* image = gtk_image_new_from_paintable(GDK_PAINTABLE(texture));
  g_object_unref(texture);
  gtk_image_set_pixel_size(GTK_IMAGE(image), static_cast<int>(std::max(bitmap.width, bitmap.height)));
  gtk_widget_set_valign(image, GTK_ALIGN_START);
  return image;
}

// Window

Window::Window(const char* title) {
  window_ = gtk_window_new();
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_icon_name(GTK_WINDOW(window_), "orlenta-reader");
  header_ = gtk_header_bar_new();
  titleLabel_ = gtk_label_new(nullptr);
  gtk_label_set_ellipsize(GTK_LABEL(titleLabel_), PANGO_ELLIPSIZE_END);
  gtk_label_set_max_width_chars(GTK_LABEL(titleLabel_), 40);
  gtk_widget_add_css_class(titleLabel_, "title");
  gtk_header_bar_set_title_widget(GTK_HEADER_BAR(header_), titleLabel_);
  gtk_window_set_titlebar(GTK_WINDOW(window_), header_);

  GtkWidget* outer = Box(GTK_ORIENTATION_VERTICAL, kSpacing + 6);
  gtk_widget_set_margin_start(outer, kMargin);
  gtk_widget_set_margin_end(outer, kMargin);
  gtk_widget_set_margin_top(outer, kMargin);
  gtk_widget_set_margin_bottom(outer, kMargin);
  body_ = Box(GTK_ORIENTATION_VERTICAL, kSpacing);
  buttons_ = Box(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_widget_set_halign(buttons_, GTK_ALIGN_END);
  gtk_box_append(GTK_BOX(outer), body_);
  gtk_box_append(GTK_BOX(outer), buttons_);
  gtk_window_set_child(GTK_WINDOW(window_), outer);
  g_signal_connect(window_, "close-request", G_CALLBACK(OnCloseRequest), this);
  // Escape answers as the close button does.
  GtkEventController* keys = gtk_shortcut_controller_new();
  gtk_shortcut_controller_add_shortcut(
      GTK_SHORTCUT_CONTROLLER(keys),
      gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, static_cast<GdkModifierType>(0)),
                       gtk_callback_action_new(OnEscape, this, nullptr)));
  gtk_widget_add_controller(window_, keys);
  SetTitle(title);
}

gboolean Window::OnEscape(GtkWidget*, GVariant*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  window->Give(window->closeAnswer_);
  return TRUE;
}

Window::~Window() {
  Hide();
  gtk_window_destroy(GTK_WINDOW(window_));
}

void Window::SetTitle(const char* title) {
  const std::string shown = DisplayText(title, kTitleLimits);
  gtk_window_set_title(GTK_WINDOW(window_), shown.c_str());
  gtk_label_set_text(GTK_LABEL(titleLabel_), shown.c_str());
}

void Window::SetParent(GtkWindow* parent) {
  gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
  gtk_window_set_modal(GTK_WINDOW(window_), parent != nullptr);
}

GtkWidget* Window::AddButton(const char* mnemonicLabel, Answer answer, bool isDefault) {
  GtkWidget* button = gtk_button_new_with_mnemonic(mnemonicLabel);
  gtk_widget_set_size_request(button, 88, -1);
  gtk_box_append(GTK_BOX(buttons_), button);
  if (isDefault) {
    gtk_window_set_default_widget(GTK_WINDOW(window_), button);
    gtk_widget_add_css_class(button, "suggested-action");
  }
  g_signal_connect_data(button, "clicked", G_CALLBACK(OnButton), new ButtonAnswer{this, answer}, FreeButtonAnswer,
                        static_cast<GConnectFlags>(0));
  return button;
}

gboolean Window::OnCloseRequest(GtkWindow*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  window->Give(window->closeAnswer_);
  return TRUE;  // the window stays; its owner hides or destroys it
}

void Window::Give(Answer answer) {
  answer_ = answer;
  if (onAnswer_) onAnswer_(answer);
}

Answer Window::Run() {
  // An answer given while the window was not running (closed while the
  // prompt was busy decoding) is the answer.
  if (answer_ == Answer::None) Show();
  while (answer_ == Answer::None) g_main_context_iteration(nullptr, TRUE);
  const Answer answer = answer_;
  answer_ = Answer::None;
  return answer;
}

void Window::Show() { gtk_window_present(GTK_WINDOW(window_)); }

void Window::Hide() {
  gtk_window_set_focus(GTK_WINDOW(window_), nullptr);  // the focused field lets go first
  gtk_widget_set_visible(window_, FALSE);
}

bool Window::Visible() const { return gtk_widget_get_visible(window_); }

void Window::SetBusy(bool busy) { gtk_widget_set_cursor_from_name(window_, busy ? "wait" : nullptr); }

// PromptWindow

PromptWindow::PromptWindow(MessageCatalogue& texts, bool askUserName, const desktop::Bitmap& icon,
                           std::function<void(const char*)> openLink, std::function<void()> about)
    : Window(texts.Text(MessageCatalogue::Title)),
      askUserName_(askUserName),
      openLink_(std::move(openLink)),
      about_(std::move(about)) {
  GtkWidget* aboutButton = gtk_button_new_from_icon_name("help-about-symbolic");
  gtk_widget_set_tooltip_text(aboutButton, "About " VP_PRODUCT_NAME);
  gtk_widget_set_focus_on_click(aboutButton, FALSE);  // typing goes on where it was
  gtk_header_bar_pack_start(HeaderBar(), aboutButton);
  g_signal_connect_swapped(aboutButton, "clicked", G_CALLBACK(+[](gpointer self) {
                             static_cast<PromptWindow*>(self)->about_();
                           }),
                           this);

  GtkWidget* row = Box(GTK_ORIENTATION_HORIZONTAL, kSpacing + 6);
  gtk_box_append(Body(), row);
  gtk_box_append(GTK_BOX(row), Picture(icon));
  GtkWidget* column = Box(GTK_ORIENTATION_VERTICAL, 6);
  gtk_widget_set_hexpand(column, TRUE);
  gtk_box_append(GTK_BOX(row), column);

  const std::string prompt = DisplayText(texts.Text(MessageCatalogue::Prompt), kMessageLimits);
  if (!prompt.empty()) {
    GtkWidget* promptLabel = Scrolled(TextLabel(prompt, true), kMaxTextHeight / 2);
    gtk_widget_set_margin_bottom(promptLabel, 6);
    gtk_box_append(GTK_BOX(column), promptLabel);
  }
  const auto field = [&](MessageCatalogue::Entry labelEntry, bool secret) {
    GtkWidget* label = TextLabel(DisplayText(texts.Text(labelEntry), kLabelLimits), false);
    GtkWidget* entry = secret ? gtk_password_entry_new() : gtk_entry_new();
    if (secret) {
      g_object_set(entry, "activates-default", TRUE, nullptr);
    } else {
      gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
      gtk_entry_set_max_length(GTK_ENTRY(entry), 1024);
    }
    gtk_editable_set_width_chars(GTK_EDITABLE(entry), 32);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
    gtk_box_append(GTK_BOX(column), label);
    gtk_box_append(GTK_BOX(column), entry);
    return entry;
  };
  if (askUserName_) {
    first_ = field(MessageCatalogue::UserNameLabel, false);
    second_ = field(MessageCatalogue::PasswordLabel, true);
  } else {
    first_ = field(MessageCatalogue::PasswordLabel, true);
  }

  // The address comes from the document: one that could start a program
  // hides the link as if the document had none.
  const char* url = texts.Text(MessageCatalogue::HyperlinkUrl);
  if (url != nullptr && url[0] != '\0' && IsOpenableLinkAddress(url)) {
    url_ = url;
    const char* linkText = texts.Text(MessageCatalogue::HyperlinkText);
    link_ = LinkButton(url, linkText != nullptr && linkText[0] != '\0' ? linkText : url, G_CALLBACK(OnLink), this);
    gtk_widget_set_halign(link_, GTK_ALIGN_CENTER);
    gtk_box_append(Body(), link_);
  }
  AddButton("_Cancel", Answer::Cancel, false);
  AddButton("_OK", Answer::Ok, true);
}

gboolean PromptWindow::OnLink(GtkLinkButton* button, gpointer self) {
  auto* prompt = static_cast<PromptWindow*>(self);
  if (prompt->openLink_) prompt->openLink_(prompt->url_.c_str());
  gtk_link_button_set_visited(button, TRUE);
  return TRUE;  // opened by us, through the operating-system services
}

void PromptWindow::FocusFirstEmpty() {
  const bool named = askUserName_ && gtk_editable_get_text(GTK_EDITABLE(first_))[0] != '\0';
  gtk_widget_grab_focus(named ? second_ : first_);
}

void PromptWindow::SetWorking(bool working) {
  gtk_widget_set_sensitive(gtk_window_get_child(Gtk()), !working);
  gtk_widget_set_sensitive(GTK_WIDGET(HeaderBar()), !working);
  SetBusy(working);
}

void PromptWindow::TakeCredentials(std::string& userName, security::SecretText& password) {
  userName = askUserName_ ? gtk_editable_get_text(GTK_EDITABLE(first_)) : "";
  GtkWidget* secret = askUserName_ ? second_ : first_;
  password.clear();
  password.append(gtk_editable_get_text(GTK_EDITABLE(secret)));
  // The field's own buffer lives in memory that GTK wipes when it is freed.
  gtk_editable_set_text(GTK_EDITABLE(secret), "");
}

// OpeningWindow

OpeningWindow::OpeningWindow() : Window("") {
  text_ = TextLabel("", true);
  gtk_label_set_justify(GTK_LABEL(text_), GTK_JUSTIFY_CENTER);
  gtk_label_set_xalign(GTK_LABEL(text_), 0.5f);
  gtk_label_set_width_chars(GTK_LABEL(text_), 36);
  gtk_box_append(Body(), Scrolled(text_, kMaxTextHeight));
  bar_ = gtk_progress_bar_new();
  gtk_widget_set_size_request(bar_, 320, -1);
  gtk_box_append(Body(), bar_);
  bytes_ = gtk_label_new(nullptr);
  gtk_widget_add_css_class(bytes_, "dim-label");
  gtk_box_append(Body(), bytes_);
  cancel_ = AddButton("_Cancel", Answer::Cancel, false);
  ok_ = AddButton("_OK", Answer::Ok, true);
}

void OpeningWindow::ShowProgress(const char* title, const char* text) { Present(title, text, /*notice=*/false); }

void OpeningWindow::ShowNotice(const char* title, const char* text) {
  Present(title, text, /*notice=*/true);
  SetBusy(false);
  gtk_widget_grab_focus(ok_);
}

void OpeningWindow::Present(const char* title, const char* text, bool notice) {
  Give(Answer::None);  // a Cancel of the progress is no answer to the notice
  SetTitle(title);
  gtk_label_set_text(GTK_LABEL(text_), DisplayText(text, kMessageLimits).c_str());
  gtk_widget_set_visible(bar_, !notice);
  gtk_widget_set_visible(bytes_, FALSE);
  gtk_widget_set_visible(cancel_, !notice);
  gtk_widget_set_visible(ok_, notice);
  // Closing the notice says the same as its OK: the user is done.
  SetCloseAnswer(notice ? Answer::Ok : Answer::Cancel);
  Show();
}

void OpeningWindow::SetProgress(std::int32_t position, std::int32_t upper) {
  if (upper <= 0) {
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar_));
    return;
  }
  const double fraction = static_cast<double>(std::clamp(position, 0, upper)) / upper;
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction);
}

void OpeningWindow::SetBytes(std::uint64_t bytes) {
  const std::uint64_t mib = bytes >> 20;
  gtk_widget_set_visible(bytes_, mib != 0);
  if (mib != 0) gtk_label_set_text(GTK_LABEL(bytes_), (std::to_string(mib) + " MiB").c_str());
}

// MessageWindow

MessageWindow::MessageWindow(const char* title, const char* text, std::int32_t kind, bool okCancel) : Window(title) {
  const char* icon = "dialog-information";
  if (kind == MessageKind::Stop || kind == MessageKind::Error) icon = "dialog-error";
  if (kind == MessageKind::Warning) icon = "dialog-warning";
  GtkWidget* row = Box(GTK_ORIENTATION_HORIZONTAL, kSpacing + 6);
  gtk_box_append(GTK_BOX(row), ThemeIcon(icon));
  gtk_box_append(GTK_BOX(row), Scrolled(TextLabel(DisplayText(text, kMessageLimits), true), kMaxTextHeight));
  gtk_box_append(Body(), row);
  if (okCancel) AddButton("_Cancel", Answer::Cancel, false);
  gtk_widget_grab_focus(AddButton("_OK", Answer::Ok, true));
}

// UnknownTypeWindow

UnknownTypeWindow::UnknownTypeWindow(const char* extension) : Window(kUnknownTypeTitle) {
  GtkWidget* row = Box(GTK_ORIENTATION_HORIZONTAL, kSpacing + 6);
  gtk_box_append(GTK_BOX(row), ThemeIcon("dialog-warning"));
  GtkWidget* column = Box(GTK_ORIENTATION_VERTICAL, 6);
  gtk_box_append(GTK_BOX(column), TextLabel(kUnknownTypeLabel, false));
  GtkWidget* shownExtension = TextLabel(DisplayText(extension, kLabelLimits), false);
  gtk_widget_add_css_class(shownExtension, "heading");
  gtk_box_append(GTK_BOX(column), shownExtension);
  GtkWidget* warning = TextLabel(kUnknownTypeWarning, true);
  gtk_widget_set_margin_top(warning, 6);
  gtk_box_append(GTK_BOX(column), warning);
  // "Al_ways ask ...": the same mnemonic as the Windows dialog's.
  const std::string alwaysAsk = std::string(kUnknownTypeAlwaysAsk).insert(2, "_");
  alwaysAsk_ = gtk_check_button_new_with_mnemonic(alwaysAsk.c_str());
  gtk_check_button_set_active(GTK_CHECK_BUTTON(alwaysAsk_), TRUE);
  gtk_widget_set_margin_top(alwaysAsk_, 6);
  gtk_box_append(GTK_BOX(column), alwaysAsk_);
  gtk_box_append(GTK_BOX(row), column);
  gtk_box_append(Body(), row);
  AddButton("_Cancel", Answer::Cancel, false);
  gtk_widget_grab_focus(AddButton("_OK", Answer::Ok, true));
}

bool UnknownTypeWindow::AlwaysAsk() const { return gtk_check_button_get_active(GTK_CHECK_BUTTON(alwaysAsk_)); }

// AboutWindow

AboutWindow::AboutWindow(std::function<void(const char*)> openLink)
    : Window("About " VP_PRODUCT_NAME), openLink_(std::move(openLink)) {
  GtkWidget* row = Box(GTK_ORIENTATION_HORIZONTAL, kSpacing + 6);
  gtk_box_append(GTK_BOX(row), Picture(desktop::ProductIcon(64)));
  GtkWidget* column = Box(GTK_ORIENTATION_VERTICAL, 6);
  GtkWidget* name = TextLabel(VP_PRODUCT_NAME, false);
  gtk_widget_add_css_class(name, "title-3");
  gtk_box_append(GTK_BOX(column), name);
  gtk_box_append(GTK_BOX(column), TextLabel("Version: " VP_VERSION_TEXT, false));
  gtk_box_append(GTK_BOX(column), TextLabel(VP_NOTICE_TEXT, true));
  GtkWidget* link = LinkButton(VP_MAKER_WEB_ADDRESS, VP_MAKER_WEB_ADDRESS, G_CALLBACK(OnLink), this);
  gtk_widget_set_halign(link, GTK_ALIGN_START);
  gtk_box_append(GTK_BOX(column), link);
  gtk_box_append(GTK_BOX(row), column);
  gtk_box_append(Body(), row);
  gtk_widget_grab_focus(AddButton("_OK", Answer::Ok, true));
}

gboolean AboutWindow::OnLink(GtkLinkButton* button, gpointer self) {
  auto* about = static_cast<AboutWindow*>(self);
  if (about->openLink_) about->openLink_(VP_MAKER_WEB_ADDRESS);
  gtk_link_button_set_visited(button, TRUE);
  return TRUE;
}

}  // namespace reader::gtkui
