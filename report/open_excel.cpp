// "OpenExcel": the report of the current parameter set in a new workbook of the spreadsheet program.
#include <string>

#include "app/main_dialog.h"
#include "app/platform.h"
#include "report/excel.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "store/store.h"

namespace {

// The current parameter set and its provenance. A read that fails after the recordset was opened (an
// empty table1, a missing column) ends the command; the recordset is closed first so that the next
// command can open it again.
ParameterSet ReadParametersForReport(Provenance& provenance) {
  try {
    ParameterSet parameters = ReadCurrentParameterSet();
    provenance = ReadCurrentProvenance();
    return parameters;
  } catch (const ComError&) {
    try {
      g_pRecordset->Close();
    } catch (const ComError&) {
      // It was not open (the connection failed): nothing to close.
    }
    throw;
  }
}

}  // namespace

void MainDialog::OnOpenExcel() {
  if (!PrepareDataSource()) return;

  SummaryHeading heading;
  const ParameterSet parameters = ReadParametersForReport(heading.provenance);
  const ReportTexts texts = ComputeReportTexts(parameters);
  heading.reportTime = ReportTimeText();
  heading.storeFile = ParameterStoreFile();

  // Done with the table before the spreadsheet program starts.
  g_pRecordset->Close();

  // Declared in the order they are obtained: a failing step (an AutomationError, reported by
  // OnCommand) releases those held so far in the reverse order, the same order as below.
  ExcelApplication app;
  if (!app.CreateDispatch("Excel.Application")) {
    DialogMessageBox("创建Excel服务失败!", "信息提示", kMbOk);
    ThePlatform().ExitProcess(1);
  }
  ExcelWorkbooks workbooks;
  ExcelWorkbook workbook;
  ExcelWorksheets worksheets;
  ExcelWorksheet worksheet;
  ExcelRange range;

  app.SetVisible(true);
  workbooks.AttachDispatch(app.GetWorkbooks());
  workbook.AttachDispatch(workbooks.Add(std::string()));
  worksheets.AttachDispatch(workbook.GetWorksheets());
  for (const ReportSheet& sheet : kReportSheets) {
    if (sheet.kind != ReportSheetKind::kParameterRow) continue;
    worksheet.AttachDispatch(worksheets.GetItem(std::string(sheet.item)));
    range.AttachDispatch(worksheet.GetCells());
    const ReportCells cells = SheetCells(sheet, texts);
    for (std::size_t column = 0; column < cells.names.size(); ++column) {
      range.SetItem(std::string("1"), ReportColumnLetters(column), cells.names[column]);
    }
    for (std::size_t column = 0; column < cells.values.size(); ++column) {
      range.SetItem(std::string("2"), ReportColumnLetters(column), cells.values[column]);
    }
  }

  AddReportSheets(workbook, BuildFormattedSheets(parameters, heading),
                  ReportFileName(heading.provenance[kSource], heading.reportTime));

  range.ReleaseDispatch();
  worksheet.ReleaseDispatch();
  worksheets.ReleaseDispatch();
  workbook.ReleaseDispatch();
  workbooks.ReleaseDispatch();
  app.ReleaseDispatch();
  // A report that could not be written or opened keeps the dialog open; the message said why.
  if (TakeWorkbookNotShown()) return;

  // The plain dialog close with OK: no import.
  EndDialogOk();
}
