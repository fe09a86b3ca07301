// qelmora-cli report: the report sheet of the current parameter set, as CSV or as an .xlsx file.
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "app/cli.h"
#include "app/csv.h"
#include "report/report.h"
#include "report/report_xlsx.h"
#include "store/store.h"

namespace {

int PrintCsv(const ReportCells& cells) {
  CsvBinaryStdout();
  const std::string text = CsvRecord({cells.names.begin(), cells.names.end()}) +
                           CsvRecord({cells.values.begin(), cells.values.end()});
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return std::ferror(stdout) ? 1 : 0;
}

// Writes the workbook beside the target under a new name and then puts it in the target's place, so
// that a failed write leaves no half-written file behind.
int WriteXlsx(const ReportCells& cells, const std::string& target) {
  std::random_device random;
  std::string scratch;
  std::FILE* claim = nullptr;
  for (int attempt = 0; attempt < 100 && claim == nullptr; ++attempt) {
    scratch = target + ".part" + std::to_string(random() % 1000000);
    claim = std::fopen(scratch.c_str(), "wbx");  // exclusive: never an existing file
  }
  if (claim == nullptr) {
    std::printf("无法写入文件：%s\n", target.c_str());
    return 1;
  }
  std::fclose(claim);

  const std::string reason = WriteReportWorkbook(cells, scratch);
  std::error_code ec;
  if (reason.empty()) std::filesystem::rename(scratch, target, ec);
  if (!reason.empty() || ec) {
    std::filesystem::remove(scratch, ec);
    std::printf("无法写入文件：%s（%s）\n", target.c_str(), reason.empty() ? "无法替换目标文件" : reason.c_str());
    return 1;
  }
  std::printf("已写入报表：%s\n", target.c_str());
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
  // Store failures raise ComError, which the dispatcher reports with the store's text.
  const std::optional<ParameterSet> parameters = CliReadCurrentParameterSet(context);
  if (!parameters) return 1;

  const ReportCells cells = BuildReportCells(*parameters);
  return csv ? PrintCsv(cells) : WriteXlsx(cells, args[1]);
}
