// Reads table1 back with the sqlcipher command-line shell, independently of the program's store code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/model/table_rows.h"

namespace qtest {

// The eleven parameter columns of every row of table1 in the store file of the directory, in table
// order (NULL and the empty text both read as ""). Fails the calling test when the shell cannot read
// the store.
inline std::vector<std::vector<std::string>> StoreRows(const std::string& directory) {
  std::vector<std::vector<std::string>> rows;
  for (const TableRow& row : ReadTableRows(directory + "dravo.mdb")) {
    std::vector<std::string>& texts = rows.emplace_back();
    for (const std::optional<std::string>& value : row) texts.push_back(value.value_or(""));
  }
  return rows;
}

}  // namespace qtest
