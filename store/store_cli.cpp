// qelmora-cli init-store and history.
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/cli.h"
#include "store/store.h"

namespace {

// One CSV field (RFC 4180): quoted when it holds a comma, a quote, CR or LF; quotes doubled.
std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void WriteRecord(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputs("\r\n", stdout);
}

}  // namespace

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
#ifdef _WIN32
  // The records end in CR LF themselves; no translation of line ends.
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
#endif

  // Store failures raise ComError, which the dispatcher reports.
  OpenTableRecordset();
  std::string line;
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    if (i > 0) line += ',';
    line += CsvField(kParameterColumns[i]);
  }
  WriteRecord(line);
  while (!g_pRecordset->GetEOF()) {
    line.clear();
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      if (i > 0) line += ',';
      const FieldValue value = g_pRecordset->GetCollect(kParameterColumns[i]);
      if (value) line += CsvField(*value);
    }
    WriteRecord(line);
    g_pRecordset->MoveNext();
  }
  g_pRecordset->Close();
  CloseParameterStore();
  std::fflush(stdout);
  return std::ferror(stdout) ? 1 : 0;
}
