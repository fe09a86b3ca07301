// A child process for the tests of the Linux report: GIO reads the desktop's associations once per
// process, so every environment (with or without a default application for .xlsx) gets a process of
// its own. Message boxes are printed, one per line, and answered OK.
//
//   report_probe open-excel STOREDIR   "OpenExcel" through the main dialog on the store in STOREDIR
//   report_probe history STOREDIR      "参数历史…" through the main dialog on the store in STOREDIR
#include <cstdio>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/main_dialog.h"
#include "app/run_store.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/report/report_test_util.h"

namespace {

class PrintingBoxes final : public MessageBoxes {
 public:
  int AppMessageBox(const std::string& text, unsigned) override { return Print("App", "", text); }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned) override {
    return Print("Dialog", caption, text);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned) override {
    return Print("Ownerless", caption, text);
  }

 private:
  static int Print(const char* kind, const std::string& caption, const std::string& text) {
    std::printf("box %s|%s|%s\n", kind, caption.c_str(), text.c_str());
    std::fflush(stdout);
    return kIdOk;
  }
};

int Run(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[0] == "open-excel" || args[0] == "history")) {
    OpenParameterStore(args[1]);
    qtest::ScriptedView view;
    MainDialog dialog(view);
    dialog.OnCommand(args[0] == "history" ? IDM_HISTORY : IDC_BUTTON_EXCEL);
    for (int result : view.endResults) std::printf("end %d\n", result);
    return 0;
  }
  std::fputs("usage: report_probe open-excel STOREDIR | history STOREDIR\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  PrintingBoxes boxes;
  AfxSetMessageBoxes(&boxes);
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
