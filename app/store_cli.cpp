// qelmora-cli init-store, backup and history (CSV, or the history workbook).
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli.h"
#include "base/csv.h"
#include "base/platform.h"
#include "history/history_csv.h"
#include "history/history_filter.h"
#include "history/history_xlsx.h"
#include "store/store.h"
#include "store/store_kind.h"
#include "store/store_location.h"

int CliInitStore(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  // Failures (StoreError, OperationError) are reported by the dispatcher.
  std::fprintf(stderr, "%s\n", StoreKindOf(context.storeDir).Init(context.storeDir).c_str());
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
  // Failures (StoreError for the store, OperationError for the copy or a store backed up otherwise)
  // are reported by the dispatcher.
  std::fprintf(stderr, "%s\n", StoreKindOf(context.storeDir).Backup(context.storeDir, args[0]).c_str());
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

  CheckHistoryFilterFor(request.filter, TheParameterStore());
  CsvBinaryStdout();
  WriteHistoryCsv(TheParameterStore(), stdout, request.filter);
  return 0;  // a failed write of the CSV is found by the dispatcher
}
