// Helpers of the store tests: a fresh store in a temporary directory, the sqlcipher shell as an
// independent reader and writer, and child processes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/store.h"
#include "tests/support/shell_command.h"
#include "tests/support/test_support.h"

namespace storetest {

using qtest::CommandResult;
using qtest::ShellQuote;
using qtest::StoreKey;

// Output (stdout and stderr) and exit status of a shell command.
inline CommandResult RunCommand(const std::string& command) { return qtest::RunCommand(command + " 2>&1"); }

// Runs SQL with the sqlcipher shell on a database file, keyed with `key` (none when empty), in CSV
// mode without headers, NULL printed as "<NULL>".
CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& sql);

// Every row of table1 (the eleven columns, in rowid order), read by qtest::ReadTableRows: one line
// each, the values separated by commas, NULL as "<NULL>".
std::string DumpTable(const std::string& databasePath);

// A temporary directory holding a new store, open.
class StoreFixture {
 public:
  StoreFixture();
  ~StoreFixture();
  std::string DatabasePath() const { return dir.Dir() + "dravo.mdb"; }

  // Appends a row: column name → value, with the provenance given.
  void Append(const std::vector<std::pair<std::string, std::string>>& values, const Provenance& provenance = {});

  qtest::TempDir dir;
  std::unique_ptr<ParameterStore> store;
};

// The text of the StoreError a call raises; empty when it raises none.
std::string StoreFailure(const std::function<void()>& call);

}  // namespace storetest
