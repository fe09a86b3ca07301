// The Windows build has no .xlsx writer of its own: the history workbook is not offered there.
#include "report/history_xlsx.h"
#include "report/report_xlsx.h"

long SaveHistoryWorkbook(const std::string&, bool) {
  WriteWorkbookFile({}, "");  // raises: there is no writer
  return 0;
}

void ShowHistoryWorkbook() { WriteWorkbookFile({}, ""); }
