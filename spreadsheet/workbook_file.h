// The report workbook as a file: the writing of the report (report_sheets.h) as .xlsx.
#pragma once

#include <string>

#include "report/report_sheets.h"

// Writes the workbook as .xlsx to path, replacing the file in one step (a failure leaves the old
// one). Returns an empty text on success, else the reason. privateToUser: the file is readable by the
// user alone. replace false: an existing file of that name is left as it is and the write fails with
// the reason kFileExists.
std::string WriteWorkbookFile(const ReportWorkbook& workbook, const std::string& path, bool privateToUser = false,
                              bool replace = true);

inline constexpr const char* kFileExists = "文件已存在";
