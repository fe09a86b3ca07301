// The Windows build has no .xlsx writer of its own: the history workbook is not offered there.
#include <stdexcept>

#include "history/history_xlsx.h"
#include "spreadsheet/workbook_file.h"

long SaveHistoryWorkbook(const std::string&, bool) {
  WriteWorkbookFile({}, "");  // raises: there is no writer
  return 0;
}

void ShowHistoryWorkbook() { WriteWorkbookFile({}, ""); }
