// The one way the tests read a store back: the sqlcipher command-line shell, keyed as the program
// keys the store, independently of the program's own store code. Linux tests only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qtest {

// One row: the eleven parameter columns in table order, nullopt for NULL.
using TableRow = std::vector<std::optional<std::string>>;

// Every row of table1 in the order of their rowid. Fails the running test when the shell cannot read
// the file.
std::vector<TableRow> ReadTableRows(const std::string& databaseFile);

// The same for the store file of a directory, each value as text (NULL and the empty text both "").
std::vector<std::vector<std::string>> StoreRows(const std::string& directory);

// The number of rows of table1; -1 (and a failure of the running test) when the shell cannot read it.
long RowCount(const std::string& databaseFile);

// "ok" when PRAGMA integrity_check passes; otherwise what the shell said.
std::string IntegrityCheck(const std::string& databaseFile);

// Runs SQL on the store file with the shell; returns whether it ran. What the shell printed goes to
// *output when given; without it, a failure fails the running test.
bool RunStoreSql(const std::string& databaseFile, const std::string& sql, std::string* output = nullptr);

// A row of the eleven texts given (all present).
TableRow RowOf(const std::vector<std::string>& values);

}  // namespace qtest
