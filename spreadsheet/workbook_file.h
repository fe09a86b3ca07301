// The report workbook as a file: the writing of the report (report_sheets.h) as .xlsx.
#pragma once

#include <string>

#include "base/errors.h"
#include "report/report_sheets.h"


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
