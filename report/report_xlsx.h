// The report workbook as a file: the content of a workbook kept in memory (the Linux spreadsheet
// server builds one), and its writing as .xlsx.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/excel.h"
#include "report/report.h"
#include "report/report_sheets.h"

// One worksheet: its name and the values put into its cells, by (row, column), both from 1.
struct WorksheetContent {
  std::string name;
  std::map<std::pair<int, int>, AutomationArg> cells;
};

struct WorkbookContent {
  std::vector<WorksheetContent> sheets;
  std::vector<FormattedSheet> formatted;  // written after sheets
  // The name of the file the report is kept in (ReportFileName); empty for a workbook without one.
  std::string fileName;
};

// The name a spreadsheet program gives the first sheet of a new workbook.
inline constexpr const char* kFirstSheetName = "Sheet1";

// A spreadsheet's input rule for a text put into a cell: when the text, leading and trailing blanks
// removed, is entirely a decimal number (optional sign, digits, optional fraction, optional exponent
// with e or E; no infinity, NaN, hexadecimal or grouping), the cell holds that number; otherwise it
// holds the text. Independent of the process locale.
std::optional<double> CellNumber(const std::string& text);

// Writes the workbook as .xlsx to path, replacing the file in one step (a failure leaves the old
// one). Cells are typed by CellNumber; an empty text makes no cell. Returns an empty text on success, else the reason.
// privateToUser: the file is readable by the user alone (one in the shared temporary directory).
// replace false: an existing file of that name is left as it is and the write fails.
std::string WriteWorkbookFile(const WorkbookContent& workbook, const std::string& path, bool privateToUser = false,
                              bool replace = true);

// The report's sheets (names in row 1, texts in row 2), then the formatted ones, written to path without
// opening it. Returns an empty text on success, else the reason. replace false: an existing file of
// that name is left as it is and the write fails.
std::string WriteReportWorkbook(const ReportTexts& texts, const std::string& path,
                                const std::vector<FormattedSheet>& formatted = {}, bool replace = true);
