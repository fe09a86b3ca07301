// "OpenExcel": the report of the current parameter set, built once as data and shown by the
// platform's spreadsheet program.
#include <string>

#include "app/main_dialog.h"
#include "base/platform.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "spreadsheet/show_report.h"
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
  heading.storeFile = store.Name();
  heading.reportTime = ReportTimeText();
  // The measured data beside the model; a file that cannot be read is named in the summary with why.
  heading.measured = LoadMeasuredInput(m_strDataPath, heading.provenance[kSource]);
  const ReportWorkbook report = BuildReportWorkbook(parameters, heading);

  // A step that fails raises (AutomationError, OperationError): OnCommand reports it and the dialog
  // stays open. Without a spreadsheet program the program ends.
  try {
    ShowReportWorkbook(report);
  } catch (const NoSpreadsheetProgram& e) {
    DialogMessageBox(e.what(), "信息提示", kMbOk);
    ThePlatform().ExitProcess(1);
  }

  // The plain dialog close with OK: no import.
  EndDialogOk();
}
