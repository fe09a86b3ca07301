// Reads table1 back with the sqlcipher command-line shell, independently of the program's store code.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/store.h"

namespace qtest {

// The eleven parameter columns of every row of table1, in table order, as CSV fields (NULL and the
// empty text both read as ""). Fails the calling test when the shell cannot read the store.
inline std::vector<std::vector<std::string>> StoreRows(const std::string& directory) {
  std::string columns;
  for (const char* column : kParameterColumns) {
    if (!columns.empty()) columns += ',';
    columns += '"' + std::string(column) + '"';
  }
  const std::string command = "sqlcipher -batch -csv -noheader -cmd \"PRAGMA key='582046';\" '" + directory +
                              "dravo.mdb' 'SELECT " + columns + " FROM table1 ORDER BY rowid;' 2>&1";
  std::vector<std::vector<std::string>> rows;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run sqlcipher";
    return rows;
  }
  std::string output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (status != 0) {
    ADD_FAILURE() << "sqlcipher failed: " << output;
    return rows;
  }
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::string field;
    std::istringstream cells(line);
    while (std::getline(cells, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    rows.push_back(fields);
  }
  return rows;
}

}  // namespace qtest
