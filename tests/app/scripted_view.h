// A main dialog view without a toolkit: it keeps the path box's text and the transfer button's
// visibility, records what the dialog asks of it, answers Open dialogs from a queue and runs a script
// of commands as its modal loop.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "tests/support/test_support.h"

namespace qtest {

class ScriptedView : public MainDialogView {
 public:
  // Message boxes shown through the view (when it is the installed sink) go to `boxes`.
  explicit ScriptedView(ScriptedMessageBoxes& boxes) : m_boxes(boxes) {}

  int AppMessageBox(const std::string& text, unsigned type) override { return m_boxes.AppMessageBox(text, type); }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_boxes.DialogMessageBox(text, caption, type);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_boxes.OwnerlessMessageBox(text, caption, type);
  }

  // Initialises the dialog, then runs the scripted commands until one ends it.
  int DoModal(MainDialog& dialog) override {
    ++modalRuns;
    sinkDuringModal = &AfxGetMessageBoxes();
    dialog.OnInitDialog();
    while (!ended && !commands.empty()) {
      const int id = commands.front();
      commands.pop_front();
      dialog.OnCommand(id);
    }
    return ended ? endResult : 0;
  }

  std::string GetPathText() override { return pathText; }
  void SetPathText(const std::string& text) override { pathText = text; }
  void ShowTransferButton(bool show) override {
    transferVisible = show;
    transferCalls.push_back(show);
  }
  void EndDialog(int result) override {
    ended = true;
    endResult = result;
  }
  bool AddAboutMenuItem(const std::string& text) override {
    aboutItems.push_back(text);
    return true;
  }
  void SetIcons() override { ++iconsSet; }
  void ShowAboutBox() override { ++aboutBoxes; }
  std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest& request) override {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    std::optional<OpenFileResult> answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }

  std::string pathText;
  bool transferVisible = true;  // the template shows the button
  std::vector<bool> transferCalls;
  bool ended = false;
  int endResult = 0;
  std::vector<std::string> aboutItems;
  int iconsSet = 0;
  int aboutBoxes = 0;
  std::vector<OpenFileRequest> fileRequests;
  std::deque<std::optional<OpenFileResult>> fileAnswers;  // nullopt: the user cancels
  std::deque<int> commands;                               // run by DoModal after the initialisation
  int modalRuns = 0;
  MessageBoxes* sinkDuringModal = nullptr;

 private:
  ScriptedMessageBoxes& m_boxes;
};

}  // namespace qtest
