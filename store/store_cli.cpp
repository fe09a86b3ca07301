// qelmora-cli init-store and history.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/csv.h"
#include "store/store.h"

int CliInitStore(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  const std::string failure = CreateParameterStore(context.storeDir);
  if (!failure.empty()) {
    std::printf("%s\n", failure.c_str());
    return 1;
  }
  std::printf("已创建数据库：%sdravo.mdb\n", context.storeDir.c_str());
  return 0;
}

int CliHistory(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  if (!CliOpenStore(context)) return 1;
  CsvBinaryStdout();

  // Store failures raise ComError, which the dispatcher reports.
  OpenTableRecordset();
  std::string text = CsvRecord({std::begin(kParameterColumns), std::end(kParameterColumns)});
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::vector<std::string> fields(kParameterCount);
  while (!g_pRecordset->GetEOF()) {
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      // NULL: an empty field.
      fields[i] = g_pRecordset->GetCollect(kParameterColumns[i]).value_or("");
    }
    text = CsvRecord(fields);
    std::fwrite(text.data(), 1, text.size(), stdout);
    g_pRecordset->MoveNext();
  }
  g_pRecordset->Close();
  CloseParameterStore();
  std::fflush(stdout);
  return std::ferror(stdout) ? 1 : 0;
}
