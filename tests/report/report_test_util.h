// Helpers of the report tests: a real store in a temporary directory, the workbook read back by
// openpyxl, and child processes.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/run_store.h"
#include "store/store.h"
#include "tests/support/scripted_view.h"
#include "tests/support/shell_command.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace rtest {


// A new store in a temporary directory, connected as the dialog connects it; released at the end.
class ScratchStore {
 public:
  ScratchStore() {
    const std::string failure = qtest::OperationFailure([&] { CreateParameterStore(dir.Dir()); });
    if (!failure.empty()) ADD_FAILURE() << "cannot create the store: " << failure;
    OpenParameterStore(dir.Dir());
    if (!ParameterStoreConnected()) ADD_FAILURE() << "cannot connect to the store";
  }
  ~ScratchStore() {
    CloseParameterStore();
  }
  ScratchStore(const ScratchStore&) = delete;
  ScratchStore& operator=(const ScratchStore&) = delete;

  // Appends one row as the import does; empty texts stay NULL.
  static void Append(const ParameterSet& values, const Provenance& provenance = {}) {
    std::unique_ptr<PendingRow> row = TheParameterStore().StartRow();
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      if (!values[i].empty()) row->Put(kParameterColumns[i], values[i]);
    }
    row->Save(provenance);
  }

  // Whether the store is as a command leaves it: nothing pending, a new row can be started.
  static bool StoreUsable() {
    try {
      TheParameterStore().StartRow()->Drop();
    } catch (const StoreError&) {
      return false;
    }
    return true;
  }

  qtest::TempDir dir;
};

using qtest::CommandResult;
using qtest::RunCommand;
using qtest::ShellQuote;

// One cell as openpyxl reads it.
struct XlsxCell {
  char type = '?';  // 'n' number, 's' string, 'b' boolean, 'f' formula
  double number = 0;
  std::string text;
};

struct XlsxBook {
  std::vector<std::string> sheetNames;
  std::map<std::string, XlsxCell> cells;  // of the sheet read, by address ("A1"); empty cells absent
};

// Reads an .xlsx file with openpyxl (python3), independently of the writer: the cells of the sheet
// at index sheet.
inline XlsxBook ReadXlsx(const std::filesystem::path& path, int sheet = 0) {
  static const char* const kScript = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
for ws in wb.worksheets:
    print("sheet\t" + ws.title)
ws = wb.worksheets[int(sys.argv[2])]
for row in ws.iter_rows():
    for c in row:
        v = c.value
        if v is None:
            continue
        if isinstance(v, bool):
            print("cell\t%s\tb\t%d" % (c.coordinate, int(v)))
        elif c.data_type == "f":
            print("cell\t%s\tf\t%s" % (c.coordinate, v))
        elif isinstance(v, (int, float)):
            print("cell\t%s\tn\t%r" % (c.coordinate, float(v)))
        else:
            print("cell\t%s\ts\t%s" % (c.coordinate, str(v).replace("\\", "\\\\").replace("\n", "\\n")))
)PY";
  XlsxBook book;
  // The distribution's interpreter, where setup installs openpyxl (a python3 earlier on PATH may be
  // a separate installation without it).
  const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const CommandResult run = RunCommand(python + " -c " + ShellQuote(kScript) + " " + ShellQuote(path.string()) + " " + std::to_string(sheet) + " 2>&1");
  if (run.status != 0) {
    ADD_FAILURE() << "openpyxl cannot read " << path << ": " << run.output;
    return book;
  }
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) {
      const std::size_t tab = line.find('\t', start);
      if (tab == std::string::npos) break;
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(line.substr(start));
    if (fields[0] == "sheet" && fields.size() == 2) {
      book.sheetNames.push_back(fields[1]);
    } else if (fields[0] == "cell" && fields.size() == 4) {
      XlsxCell cell;
      cell.type = fields[2][0];
      cell.text = fields[3];
      if (cell.type == 'n') std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), cell.number);
      book.cells[fields[1]] = cell;
    }
  }
  return book;
}

// The files in a directory whose names start with the prefix.
inline std::vector<std::filesystem::path> FilesStartingWith(const std::filesystem::path& dir, const std::string& prefix) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  }
  return found;
}

}  // namespace rtest
