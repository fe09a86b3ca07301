// The Windows build has no .xlsx writer of its own: the report is made by Excel itself.
#include "report/report_sheets.h"
#include "spreadsheet/workbook_file.h"

void WriteWorkbookFile(const ReportWorkbook&, const std::string&, bool, bool) {
  throw WorkbookWriteError("此平台不能直接写入 .xlsx 文件，请使用 Excel 打开报表。");
}
