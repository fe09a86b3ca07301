// Showing the report: one backend call with the report as data (report_sheets.h).
#pragma once

#include <functional>

#include "base/errors.h"
#include "report/report_sheets.h"

// There is no spreadsheet program to show the report: what() is "创建Excel服务失败!".
class NoSpreadsheetProgram : public OperationError {
 public:
  NoSpreadsheetProgram() : OperationError("创建Excel服务失败!") {}
};

// Backend: shows the report in the spreadsheet program. Raises NoSpreadsheetProgram, having done
// nothing, when there is none: Windows, the automation server "Excel.Application" cannot be created;
// Linux, the desktop has no default application for .xlsx. Windows writes the parameter sheet through automation, cell
// by cell, then adds the formatted sheets; Linux writes the workbook as .xlsx into the folder of the
// user's workbooks (spreadsheet/xlsx_linux.h) under its file name and opens it.
// Failures raise AutomationError (the server's description) or OperationError (a file that cannot be
// written or opened, named in the message).
void ShowReport(const ReportWorkbook& report);

// ShowReport, or the function a test has put in its place.
void ShowReportWorkbook(const ReportWorkbook& report);
using ReportShower = std::function<void(const ReportWorkbook&)>;
// An empty function restores ShowReport.
void SetReportShower(ReportShower shower);
