// The Windows build has no .xlsx writer of its own: the history workbook is not offered there.
#include "history/history_xlsx.h"
#include "spreadsheet/workbook_file.h"

long SaveHistoryWorkbook(const std::string&, bool, const HistoryWorkbookRequest&) {
  WriteWorkbookFile({}, "");  // raises: there is no writer
  return 0;
}

HistoryWorkbookRequest SeriesRequest(const std::string&) { return {}; }

void ShowHistoryWorkbook(const std::string&) { WriteWorkbookFile({}, ""); }
