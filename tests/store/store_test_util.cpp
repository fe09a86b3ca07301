#include "tests/store/store_test_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

namespace storetest {

std::string StoreKey() {
  return ConnectionStringProperty(ConnectionString("", "/"), "Jet OLEDB:Database Password").value_or("");
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& sql) {
  const std::string shell = QELMORA_SQLCIPHER_SHELL;
  EXPECT_FALSE(shell.empty()) << "the sqlcipher shell is not installed (scripts/setup.sh installs it)";
  qtest::TempDir scriptDir;
  const auto script = scriptDir.Path() / "script.sql";
  std::string text;
  if (!key.empty()) {
    std::string escaped;
    for (char c : key) escaped += (c == '\'') ? std::string("''") : std::string(1, c);
    text += "PRAGMA key='" + escaped + "';\n";
  }
  text += ".mode csv\n.separator , \"\\n\"\n.nullvalue <NULL>\n" + sql + "\n";
  qtest::WriteFileBytes(script, text);
  return RunCommand(ShellQuote(shell) + " -batch " + ShellQuote(databasePath) + " < " + ShellQuote(script.string()));
}

std::string DumpTable(const std::string& databasePath) {
  std::string columns;
  for (const char* column : kParameterColumns) {
    if (!columns.empty()) columns += ',';
    columns += std::string("\"") + column + "\"";
  }
  const CommandResult result =
      Sqlcipher(databasePath, StoreKey(), "SELECT " + columns + " FROM table1 ORDER BY rowid;");
  EXPECT_EQ(result.status, 0) << result.output;
  return result.output;
}

StoreFixture::StoreFixture() {
  const std::string failure = CreateParameterStore(dir.Dir());
  EXPECT_EQ(failure, "");
  connection = CreateConnectionObject();
  connection->Open(ConnectionText(), "", "", 0);
}

StoreFixture::~StoreFixture() = default;

void StoreFixture::Append(const std::vector<std::pair<std::string, std::string>>& values) {
  std::unique_ptr<Recordset> recordset = CreateRecordsetObject();
  recordset->Open(kTableQuery, *connection, adOpenDynamic, adLockOptimistic, adCmdText);
  recordset->AddNew();
  for (const auto& [column, value] : values) recordset->PutCollect(column, value);
  recordset->Update();
  recordset->Close();
}

ParameterSet SampleSet(const std::string& tag) {
  ParameterSet set;
  for (std::size_t i = 0; i < kParameterCount; ++i) set[i] = tag + "." + std::to_string(i + 1) + "E-3";
  return set;
}

std::vector<std::pair<std::string, std::string>> AsColumns(const ParameterSet& set) {
  std::vector<std::pair<std::string, std::string>> values;
  for (std::size_t i = 0; i < kParameterCount; ++i) values.emplace_back(kParameterColumns[i], set[i]);
  return values;
}

}  // namespace storetest
