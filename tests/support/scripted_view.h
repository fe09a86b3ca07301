// A main dialog view without a toolkit: it keeps the path box's text and the transfer button's
// visibility, records what the dialog asks of it, answers Open dialogs from a queue and runs a script
// of commands as its modal loop.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/main_dialog.h"
#include "store/store.h"
#include "tests/support/test_support.h"

namespace qtest {

class ScriptedView : public MainDialogView {
 public:
  // Message boxes shown through the view go to the sink installed at the time they are shown.
  ScriptedView() = default;
  // Message boxes shown through the view go to `boxes` (so that the view itself may be the installed
  // sink).
  explicit ScriptedView(ScriptedMessageBoxes& boxes) : m_boxes(&boxes) {}

  int AppMessageBox(const std::string& text, unsigned type) override {
    return m_boxes != nullptr ? m_boxes->AppMessageBox(text, type) : ::AfxMessageBox(text, type);
  }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_boxes != nullptr ? m_boxes->DialogMessageBox(text, caption, type) : ::DialogMessageBox(text, caption, type);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_boxes != nullptr ? m_boxes->OwnerlessMessageBox(text, caption, type)
                              : ::OwnerlessMessageBox(text, caption, type);
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
    return ended ? *endResult : 0;
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
    endResults.push_back(result);
    if (onEnd) onEnd(result);
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
  std::optional<int> endResult;  // the last result given to EndDialog
  std::vector<int> endResults;   // every result given to EndDialog, in order
  std::function<void(int)> onEnd;
  std::vector<std::string> aboutItems;
  int iconsSet = 0;
  int aboutBoxes = 0;
  std::vector<OpenFileRequest> fileRequests;
  std::deque<std::optional<OpenFileResult>> fileAnswers;  // nullopt: the user cancels
  std::deque<int> commands;                               // run by DoModal after the initialisation
  int modalRuns = 0;
  MessageBoxes* sinkDuringModal = nullptr;

 private:
  ScriptedMessageBoxes* m_boxes = nullptr;
};

// The dialog's start-up alone (OnInitDialog) with a scripted view whose boxes go to `boxes`, then
// the store it opened closed again, whether or not it opened.
inline void RunDialogStartUp(ScriptedMessageBoxes& boxes) {
  ScriptedView view(boxes);
  MainDialog dialog(view);
  AfxSetMessageBoxes(&view);
  dialog.OnInitDialog();
  AfxSetMessageBoxes(&boxes);
  CloseParameterStore();
}

}  // namespace qtest
