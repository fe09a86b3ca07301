// The Windows build has no .xlsx writer of its own: the history workbook is not offered there.
#include <stdexcept>

#include "report/history_xlsx.h"
#include "report/report_xlsx.h"

long SaveHistoryWorkbook(const std::string&, bool, const HistoryWorkbookRequest&) {
  throw std::runtime_error(WriteWorkbookFile({}, ""));
}

HistoryWorkbookRequest SeriesRequest(const std::string&) { return {}; }

void ShowHistoryWorkbook(const std::string&) { throw std::runtime_error(WriteWorkbookFile({}, "")); }
