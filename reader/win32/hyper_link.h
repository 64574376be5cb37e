#pragma once
// A static text control of a dialog turned into a link: underlined text in
// link colours, a hand cursor, a tooltip with the address, and a click that
// opens the address through the current OsInterface.

#include <string>

#include "reader/win32/dialog_framework.h"

namespace reader {

class CHyperLink : public SubclassedControl {
 public:
  CHyperLink();
  ~CHyperLink() override;

  // The address a click opens; when the window exists the control is resized
  // to its text and the tooltip shows the new address.
  void SetUrl(const char* url);
  const std::string& Url() const { return url_; }
  void SetVisited(bool visited);
  bool Visited() const { return visited_; }
  // The colour the text is drawn in now (hover, visited or link colour).
  COLORREF CurrentColour() const;

  // Relays mouse messages to the tooltip.
  bool PreTranslateMessage(MSG& msg) override;
  // STN_CLICKED: opens the address (only web and mail addresses; see
  // reader/link_address.h) and shows the link as visited.
  bool OnReflectedCommand(UINT code) override;
  // Link colours on a transparent background.
  HBRUSH OnReflectedColour(HDC dc) override;

  static constexpr COLORREF kLinkColour = RGB(0, 0, 238);
  static constexpr COLORREF kVisitedColour = RGB(85, 26, 139);

 protected:
  void PreSubclassWindow() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void PositionWindow();
  void SetDefaultCursor();
  // Repaints the control with its parent's background under it, so that a
  // colour change never leaves the old glyphs behind the transparent text.
  void Redraw();

  COLORREF linkColour_ = kLinkColour;
  COLORREF visitedColour_ = kVisitedColour;
  COLORREF hoverColour_;
  bool overControl_ = false;
  bool visited_ = false;
  bool underline_ = true;
  bool adjustToFit_ = true;
  std::string url_;
  HFONT underlineFont_ = nullptr;
  HCURSOR linkCursor_ = nullptr;
  bool ownCursor_ = false;
  HWND toolTip_ = nullptr;
};

}  // namespace reader
