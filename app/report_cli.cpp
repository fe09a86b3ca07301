// qelmora-cli report: the report sheet of the current parameter set, as CSV or as an .xlsx file.
#include <cstdio>
#include <string>

#include "app/cli.h"
#include "base/csv.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "spreadsheet/workbook_file.h"
#include "store/store.h"

namespace {

int PrintCsv(const ReportCells& cells) {
  CsvBinaryStdout();
  const std::string text = CsvRecord(cells.names) + CsvRecord(cells.values);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;  // a failed write is found by the dispatcher
}

// The workbook takes the target's place only when it is complete: a failed write leaves no
// half-written file behind.
int WriteXlsx(const ReportWorkbook& report, const std::string& target, bool force) {
  // Checked again by the write itself, which never replaces a file then.
  if (!CliMayWrite(target, force)) return 1;
  try {
    WriteWorkbookFile(report, target, false, force);
  } catch (const WorkbookWriteError& e) {
    std::fprintf(stderr, "无法写入文件：%s（%s）\n", target.c_str(), e.what());
    return 1;
  }
  std::fprintf(stderr, "已写入报表：%s\n", target.c_str());
  return 0;
}

}  // namespace

int CliReport(const CliContext& context, const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const bool force = CliTakeForce(&args);
  const bool csv = args.size() == 1 && args[0] == "--csv";
  // --xlsx FILE, optionally with --data DATAFILE (before or after it).
  std::string target, dataFile;
  bool xlsx = args.size() == 2 || args.size() == 4;
  for (std::size_t i = 0; xlsx && i + 1 < args.size(); i += 2) {
    std::string* value = args[i] == "--xlsx" ? &target : args[i] == "--data" ? &dataFile : nullptr;
    xlsx = value != nullptr && value->empty() && !args[i + 1].empty();
    if (xlsx) *value = args[i + 1];
  }
  xlsx = xlsx && !target.empty();
  if ((!csv && !xlsx) || (csv && force)) {
    CliUsage();
    return 2;
  }
  // Store failures raise StoreError, which the dispatcher reports with the store's text.
  SummaryHeading heading;
  const std::optional<StoredRow> row = CliReadCurrent(context, &heading.storeFile);
  if (!row) return 1;

  if (csv) return PrintCsv(SheetCells(kReportSheets[0], ComputeReportTexts(row->parameters)));
  heading.provenance = row->provenance;
  heading.reportTime = ReportTimeText();
  heading.measured = LoadMeasuredInput(dataFile, heading.provenance[kSource]);
  if (!heading.measured.failure.empty()) {
    std::fprintf(stderr, "无法读取测量数据文件 %s：%s\n", heading.measured.file.c_str(), heading.measured.failure.c_str());
  }
  return WriteXlsx(BuildReportWorkbook(row->parameters, heading), target, force);
}
