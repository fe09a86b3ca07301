#include "tests/model/table_rows.h"

#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "store/store.h"

namespace qtest {

namespace {

// The key as the program's connection string carries it.
std::string StoreKey() {
  const std::string connection = ConnectionString("", "/");
  const std::string keyword = "Jet OLEDB:Database Password=";
  const std::size_t at = connection.find(keyword);
  if (at == std::string::npos) return {};
  const std::size_t from = at + keyword.size();
  return connection.substr(from, connection.find(';', from) - from);
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

bool RunShell(const std::string& databaseFile, const std::string& sql, std::string* output) {
  const std::string command = "sqlcipher -batch -noheader " + ShellQuote(databaseFile) + " " +
                              ShellQuote("PRAGMA key='" + StoreKey() + "'; " + sql) + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

std::vector<TableRow> ReadTableRows(const std::string& databaseFile) {
  // hex() keeps every byte of a value; NULL is told apart by a marker that hex never gives.
  std::string select = "SELECT ";
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    if (i > 0) select += " || '|' || ";
    select += std::string("CASE WHEN \"") + kParameterColumns[i] + "\" IS NULL THEN 'N' ELSE 'T' || hex(\"" +
              kParameterColumns[i] + "\") END";
  }
  select += " FROM table1;";
  std::string output;
  const bool ran = RunShell(databaseFile, select, &output);
  EXPECT_TRUE(ran) << output;
  std::vector<TableRow> rows;
  if (!ran) return rows;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    TableRow row;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '|')) {
      if (field == "N") {
        row.emplace_back(std::nullopt);
      } else {
        EXPECT_EQ(field.substr(0, 1), "T") << line;
        row.emplace_back(FromHex(field.substr(1)));
      }
    }
    EXPECT_EQ(row.size(), kParameterCount) << line;
    rows.push_back(row);
  }
  return rows;
}

bool RunStoreSql(const std::string& databaseFile, const std::string& sql) {
  std::string output;
  const bool ran = RunShell(databaseFile, sql, &output);
  EXPECT_TRUE(ran) << output;
  return ran;
}

TableRow RowOf(const std::vector<std::string>& values) {
  TableRow row;
  for (const std::string& value : values) row.emplace_back(value);
  return row;
}

}  // namespace qtest
