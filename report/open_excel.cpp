// "OpenExcel": the report of the current parameter set in a new workbook of the spreadsheet program.
#include <string>

#include "app/main_dialog.h"
#include "app/platform.h"
#include "report/excel.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "store/store.h"

void MainDialog::OnOpenExcel() {
  if (!PrepareDataSource()) return;

  // The current parameter set and its provenance; the store is done with before the spreadsheet
  // program starts. A failed read (an empty history, a store that is not open) ends the command.
  ParameterStore& store = TheParameterStore();
  const StoredRow row = store.ReadCurrent();
  const ParameterSet& parameters = row.parameters;
  SummaryHeading heading;
  heading.provenance = row.provenance;
  const ReportTexts texts = ComputeReportTexts(parameters);
  heading.reportTime = ReportTimeText();
  heading.storeFile = store.Name();

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
