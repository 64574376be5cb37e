#pragma once
// A GuiInterface that records what the flow shows and answers from a script,
// and an OsInterface wrapper that records launches and waits instead of
// sleeping.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "reader/os_interface.h"
#include "reader/gui_interface.h"

namespace testing_support {

struct ShownMessage {
  std::string title;
  std::string text;
  std::int32_t kind;
  std::int32_t flags;
};

class FakeGui : public reader::GuiInterface {
 public:
  explicit FakeGui(bool afterDocument = false) : GuiInterface(afterDocument) {}

  // Credentials for successive prompts; a prompt with none left cancels.
  std::deque<std::pair<std::string, std::string>> credentials;
  std::vector<ShownMessage> messages;
  std::vector<std::string> calls;
  std::vector<std::int32_t> positions;
  std::int32_t range = -1;
  int prompts = 0;
  std::int32_t answer = 1;  // what every message box returns
  bool confirmAnswer = true;
  bool confirmDontAsk = false;
  std::vector<std::string> confirmedExtensions;  // "<null>" for none
  std::function<void()> onWaitNotice;
  // Asked by the flow between steps; true plays the progress window's Cancel.
  std::function<bool()> cancel;

  int PromptForCredentials(bool askUserName) override {
    ++prompts;
    calls.push_back(askUserName ? "prompt(user)" : "prompt(password)");
    while (!credentials.empty()) {
      auto [user, password] = credentials.front();
      credentials.pop_front();
      if (State().Decode(user.c_str(), password.c_str())) return 1;
    }
    return 2;
  }
  bool ShowOpening(const char* title, const char* body) override {
    calls.push_back(std::string("opening:") + title + "|" + body);
    return true;
  }
  void HideOpening() override { calls.push_back("hideOpening"); }
  void SetProgressRange(std::int32_t upper) override { range = upper; }
  void SetProgressPosition(std::int32_t position) override { positions.push_back(position); }
  void ShowWaitNotice(const char* title, const char* body) override {
    calls.push_back(std::string("wait:") + title + "|" + body);
    if (onWaitNotice) onWaitNotice();
  }
  void RestorePrompt() override { calls.push_back("restorePrompt"); }
  void HidePrompt() override { calls.push_back("hidePrompt"); }
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind, std::int32_t flags) override {
    messages.push_back({title != nullptr ? title : "<null>", body, kind, flags});
    return answer;
  }
  bool ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) override {
    confirmedExtensions.push_back(extension != nullptr ? extension : "<null>");
    dontAskAgain = confirmDontAsk;
    return confirmAnswer;
  }
  void AfterDocument() override { calls.push_back("afterDocument"); }
  bool CancelRequested() override { return cancel && cancel(); }
  void ForgetPassword() override { calls.push_back("forgetPassword"); }
};

}  // namespace testing_support
