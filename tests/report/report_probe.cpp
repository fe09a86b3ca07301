// A child process for the tests of the Linux spreadsheet server: GIO reads the desktop's
// associations once per process, so every environment (with or without a default application for
// .xlsx) gets a process of its own. Message boxes are printed, one per line, and answered OK.
//
//   report_probe open-excel STOREDIR   "OpenExcel" through the main dialog on the store in STOREDIR
//   report_probe sheet NAME            a new workbook (never shown), then its worksheet NAME
//   report_probe cell ROW COLUMN       a new workbook (never shown), then one cell written
//   report_probe hidden                a workbook filled while the server stays invisible
//   report_probe history STOREDIR      "参数历史…" through the main dialog on the store in STOREDIR
#include <cstdio>
#include <string>
#include <vector>

#include "app/afx.h"
#include "app/main_dialog.h"
#include "report/excel.h"
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

struct Sheet {
  ExcelApplication app;
  ExcelWorkbooks workbooks;
  ExcelWorkbook workbook;
  ExcelWorksheets worksheets;
};

// The server and a new workbook; Visible is set as given.
bool OpenWorkbook(Sheet& s, bool visible) {
  if (!s.app.CreateDispatch("Excel.Application")) {
    std::puts("no server");
    return false;
  }
  s.app.SetVisible(visible);
  s.workbooks.AttachDispatch(s.app.GetWorkbooks());
  s.workbook.AttachDispatch(s.workbooks.Add(std::string()));
  s.worksheets.AttachDispatch(s.workbook.GetWorksheets());
  return true;
}

// Writes one cell of the new workbook's "sheet1" through its Cells range.
void SetSheet1Cell(Sheet& s, const std::string& row, const std::string& column, const std::string& value) {
  ExcelWorksheet worksheet;
  worksheet.AttachDispatch(s.worksheets.GetItem(std::string("sheet1")));
  ExcelRange range;
  range.AttachDispatch(worksheet.GetCells());
  range.SetItem(row, column, value);
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[0] == "open-excel" || args[0] == "history")) {
    OpenParameterStore(args[1]);
    qtest::ScriptedView view;
    MainDialog dialog(view);
    dialog.OnCommand(args[0] == "history" ? IDM_HISTORY : IDC_BUTTON_EXCEL);
    for (int result : view.endResults) std::printf("end %d\n", result);
    return 0;
  }
  if (args.size() == 2 && args[0] == "sheet") {
    Sheet s;
    if (!OpenWorkbook(s, false)) return 3;
    ExcelWorksheet worksheet;
    worksheet.AttachDispatch(s.worksheets.GetItem(args[1]));
    std::puts("found");
    return 0;
  }
  if (args.size() == 3 && args[0] == "cell") {
    Sheet s;
    if (!OpenWorkbook(s, false)) return 3;
    SetSheet1Cell(s, args[1], args[2], "x");
    std::puts("written");
    return 0;
  }
  if (args.size() == 1 && args[0] == "hidden") {
    Sheet s;
    if (!OpenWorkbook(s, false)) return 3;
    SetSheet1Cell(s, "1", "A", "1.5");
    std::puts("filled");
    return 0;
  }
  std::fputs("usage: report_probe open-excel STOREDIR | sheet NAME | cell ROW COLUMN | hidden | history STOREDIR\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  PrintingBoxes boxes;
  AfxSetMessageBoxes(&boxes);
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const AutomationError& e) {
    std::printf("error %s\n", e.what());
    return 4;
  }
}
