#include "tests/support/store_rows.h"

#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/support/shell_command.h"

namespace qtest {

namespace {

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
  select += " FROM table1 ORDER BY rowid;";
  const CommandResult run = Sqlcipher(databaseFile, StoreKey(), select);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<TableRow> rows;
  if (run.status != 0) return rows;
  std::istringstream lines(run.output);
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

std::vector<std::vector<std::string>> StoreRows(const std::string& directory) {
  std::vector<std::vector<std::string>> rows;
  for (const TableRow& row : ReadTableRows(directory + kStoreFileName)) {
    std::vector<std::string>& texts = rows.emplace_back();
    for (const std::optional<std::string>& value : row) texts.push_back(value.value_or(""));
  }
  return rows;
}

long RowCount(const std::string& databaseFile) {
  const CommandResult run = Sqlcipher(databaseFile, StoreKey(), "SELECT count(*) FROM table1;");
  char* end = nullptr;
  const long count = std::strtol(run.output.c_str(), &end, 10);
  if (run.status != 0 || end == run.output.c_str()) {
    ADD_FAILURE() << "the sqlcipher shell cannot count the rows: " << run.output;
    return -1;
  }
  return count;
}

std::string IntegrityCheck(const std::string& databaseFile) {
  std::string output = Sqlcipher(databaseFile, StoreKey(), "PRAGMA integrity_check;").output;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

bool RunStoreSql(const std::string& databaseFile, const std::string& sql, std::string* output) {
  const CommandResult run = Sqlcipher(databaseFile, StoreKey(), sql);
  if (output != nullptr) {
    *output = run.output;
  } else {
    EXPECT_EQ(run.status, 0) << run.output;
  }
  return run.status == 0;
}

TableRow RowOf(const std::vector<std::string>& values) {
  TableRow row;
  for (const std::string& value : values) row.emplace_back(value);
  return row;
}

}  // namespace qtest
