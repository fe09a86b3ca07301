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
int WriteXlsx(const ReportTexts& texts, const std::vector<FormattedSheet>& formatted, const std::string& target) {
  const std::string reason = WriteReportWorkbook(texts, target, formatted);
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
  const bool xlsx = args.size() == 2 && args[0] == "--xlsx" && !args[1].empty();
  if (!csv && !xlsx) {
    CliUsage();
    return 2;
  }
  // Store failures raise StoreError, which the dispatcher reports with the store's text.
  SummaryHeading heading;
  const std::optional<StoredRow> row = CliReadCurrent(context, &heading.storeFile);
  if (!row) return 1;

  const ReportTexts texts = ComputeReportTexts(row->parameters);
  if (csv) return PrintCsv(SheetCells(kReportSheets[0], texts));
  heading.provenance = row->provenance;
  heading.reportTime = ReportTimeText();
  return WriteXlsx(texts, BuildFormattedSheets(row->parameters, heading), args[1]);
}
