// qelmora-cli report: the report sheet of the current parameter set, as CSV or as an .xlsx file.
#include <cstdio>
#include <string>

#include "app/cli.h"
#include "app/csv.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "report/report_xlsx.h"
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
int WriteXlsx(const ReportWorkbook& report, const std::string& target) {
  const std::string reason = WriteWorkbookFile(report, target);
  if (!reason.empty()) {
    std::fprintf(stderr, "无法写入文件：%s（%s）\n", target.c_str(), reason.c_str());
    return 1;
  }
  std::fprintf(stderr, "已写入报表：%s\n", target.c_str());
  return 0;
}

}  // namespace

int CliReport(const CliContext& context, const std::vector<std::string>& args) {
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
  if (!csv && !xlsx) {
    CliUsage();
    return 2;
  }
  // Store failures raise ComError, which the dispatcher reports with the store's text.
  SummaryHeading heading;
  const std::optional<ParameterSet> parameters = CliReadCurrentParameterSet(context, &heading.provenance);
  if (!parameters) return 1;

  if (csv) return PrintCsv(SheetCells(kReportSheets[0], ComputeReportTexts(*parameters)));
  heading.reportTime = ReportTimeText();
  heading.storeFile = ParameterStoreFile();
  heading.measured = LoadMeasuredInput(dataFile, heading.provenance[kSource]);
  if (!heading.measured.failure.empty()) {
    std::fprintf(stderr, "无法读取测量数据文件 %s：%s\n", heading.measured.file.c_str(), heading.measured.failure.c_str());
  }
  return WriteXlsx(BuildReportWorkbook(*parameters, heading), target);
}
