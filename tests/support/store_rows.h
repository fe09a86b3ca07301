// Reads table1 of a store file with the sqlcipher command-line shell, independently of the
// program's own store code.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qtest {

// One row: the eleven parameter columns in table order, nullopt for NULL.
using TableRow = std::vector<std::optional<std::string>>;

// Every row of table1 in the order "SELECT * FROM table1" gives them. Fails the running test when
// the shell cannot read the file.
std::vector<TableRow> ReadTableRows(const std::string& databaseFile);

// Runs SQL on the store file with the shell (keyed as the program keys it); returns whether it ran.
bool RunStoreSql(const std::string& databaseFile, const std::string& sql);

// A row of the eleven texts given (all present).
TableRow RowOf(const std::vector<std::string>& values);

}  // namespace qtest
