// qelmora-cli outbox: the imports that wait in this user's outbox for a lab store, as CSV on
// standard output, oldest first. qelmora-cli sync: sends them now to the store of --store or the
// configuration.
#include <cstdio>

#include "app/cli.h"
#include "base/csv.h"
#include "store/store_location.h"

int CliOutbox(const CliContext&, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  // Failures raise StoreError (an outbox that is refused, say), which the dispatcher reports.
  const auto waiting = WaitingImportList();
  CsvBinaryStdout();
  std::string text = CsvRecord({"lab_store", "import_id", "read_at", "source"});
  for (const auto& import : waiting) text += CsvRecord({import.begin(), import.end()});
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fprintf(stderr, "本机暂存库中有 %zu 次导入等待上传\n", waiting.size());
  return 0;
}

int CliSync(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  if (!IsServerStoreLocation(context.storeDir)) {
    std::fputs("sync 只用于实验室数据库：--store postgresql://… 或 --store service=…\n", stderr);
    return 1;
  }
  std::fprintf(stderr, "%s\n", SendWaitingImports(context.storeDir).c_str());
  return 0;
}
