// qelmora-cli init-store, backup and history (CSV, or the history workbook).
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/csv.h"
#include "app/platform.h"
#include "report/history_filter.h"
#include "report/history_xlsx.h"
#include "store/store.h"
#include "store/store_location.h"

int CliInitStore(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  // A store on a server: its failures raise StoreError, which the dispatcher reports.
  if (IsServerStoreLocation(context.storeDir)) {
    std::fprintf(stderr, "%s\n", InitServerStore(context.storeDir).c_str());
    return 0;
  }
  try {
    CreateParameterStore(context.storeDir);
  } catch (const OperationError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "已创建数据库：%s%s\n", context.storeDir.c_str(), kStoreFileName);
  return 0;
}

int CliBackup(const CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty()) {
    CliUsage();
    return 2;
  }
  if (context.storeDir.empty()) {
    AfxMessageBox(kProgramPathUnknownText);
    return 1;
  }
  if (IsServerStoreLocation(context.storeDir)) {
    std::fputs("backup 只复制本机的参数数据库；实验室数据库由其服务器备份（pg_dump）\n", stderr);
    return 1;
  }
  // Failures (StoreError for the store, OperationError for the copy) are reported by the dispatcher.
  BackupParameterStore(context.storeDir, args[0]);
  std::fprintf(stderr, "已备份参数数据库：%s%s → %s\n", context.storeDir.c_str(), kStoreFileName, args[0].c_str());
  return 0;
}

int CliHistory(const CliContext& context, const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const bool force = CliTakeForce(&args);
  HistoryWorkbookRequest request;
  try {
    request.filter = TakeHistoryFilter(&args);
  } catch (const OperationError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    CliUsage();
    return 2;
  }
  const bool xlsx = args.size() == 2 && args[0] == "--xlsx" && !args[1].empty();
  if ((!args.empty() && !xlsx) || (force && !xlsx)) {
    CliUsage();
    return 2;
  }
  // Checked again by the write itself, which never replaces a file then.
  if (xlsx && !CliMayWrite(args[1], force)) return 1;
  if (!CliOpenStore(context)) return 1;

  // Store failures raise StoreError, filters the store cannot answer OperationError; the dispatcher
  // reports them.
  struct CloseAtEnd {
    ~CloseAtEnd() { CloseParameterStore(); }
  } closeAtEnd;
  if (xlsx) {
    const long rows = SaveHistoryWorkbook(args[1], force, request);
    std::fprintf(stderr, "已写入参数历史（%ld 行）：%s\n", rows, args[1].c_str());
    return 0;
  }
  const HistoryFilter& filter = request.filter;
  CheckHistoryFilterFor(filter, TheParameterStore());

  CsvBinaryStdout();
  std::vector<std::string> fields(std::begin(kParameterColumns), std::end(kParameterColumns));
  fields.insert(fields.end(), std::begin(kProvenanceColumns), std::end(kProvenanceColumns));
  // A lab's store also says who imported each row and where.
  const bool shared = TheParameterStore().Shared();
  if (shared) fields.insert(fields.end(), {kImportedByColumn, kWorkstationColumn});
  // Then the quality of the fit that the import kept.
  const std::size_t qualityField = fields.size();
  fields.insert(fields.end(), std::begin(kQualityColumns), std::end(kQualityColumns));
  std::string text = CsvRecord(fields);
  std::fwrite(text.data(), 1, text.size(), stdout);
  TheParameterStore().ReadHistory([&](const StoredRow& row) {
    if (!filter.Matches(row)) return;
    // NULL: an empty field.
    std::copy(row.parameters.begin(), row.parameters.end(), fields.begin());
    std::copy(row.provenance.begin(), row.provenance.end(), fields.begin() + kParameterCount);
    if (shared) {
      constexpr std::size_t kLabFields = std::size_t{kParameterCount} + kProvenanceCount;
      fields[kLabFields] = row.importedBy;
      fields[kLabFields + 1] = row.workstation;
    }
    std::copy(row.quality.begin(), row.quality.end(), fields.begin() + static_cast<std::ptrdiff_t>(qualityField));
    text = CsvRecord(fields);
    std::fwrite(text.data(), 1, text.size(), stdout);
  }, filter.Days());
  return 0;  // a failed write of the CSV is found by the dispatcher
}
