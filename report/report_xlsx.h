// The report workbook as a file: the typing rule of a text put into a cell, and the writing of the
// report (report_sheets.h) as .xlsx.
#pragma once

#include <optional>
#include <string>

#include "base/errors.h"
#include "report/report_sheets.h"

// A spreadsheet's input rule for a text put into a cell: when the text, leading and trailing blanks
// removed, is entirely a decimal number (optional sign, digits, optional fraction, optional exponent
// with e or E; no infinity, NaN, hexadecimal or grouping), the cell holds that number; otherwise it
// holds the text. Independent of the process locale.
std::optional<double> CellNumber(const std::string& text);

inline constexpr const char* kFileExists = "文件已存在";

// A workbook that could not be written: what() is the reason, without the file's name (the caller
// names the file as the user knows it).
class WorkbookWriteError : public OperationError {
 public:
  using OperationError::OperationError;
};
// The name was taken and was not to be replaced: the reason is kFileExists.
class WorkbookNameTaken : public WorkbookWriteError {
 public:
  WorkbookNameTaken() : WorkbookWriteError(kFileExists) {}
};

// Writes the workbook as .xlsx to path, replacing the file in one step (a failure leaves the old
// one). Raises WorkbookWriteError. privateToUser: the file is readable by the user alone. replace
// false: an existing file of that name is left as it is and the write raises WorkbookNameTaken.
void WriteWorkbookFile(const ReportWorkbook& workbook, const std::string& path, bool privateToUser = false,
                       bool replace = true);
