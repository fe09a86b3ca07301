// "OpenExcel": the report of the current parameter set, built once as data and shown by the
// platform's spreadsheet program.
#include <string>

#include "app/main_dialog.h"
#include "app/platform.h"
#include "report/report.h"
#include "report/report_sheets.h"
#include "report/show_report.h"
#include "store/store.h"

namespace {

// The store's part of the report: the current parameter set, its provenance and the store's file. A
// read that fails after the recordset was opened (an empty table1, a missing column) ends the command;
// the recordset is closed first so that the next command can open it again.
ParameterSet ReadReportRow(SummaryHeading& heading) {
  try {
    ParameterSet parameters = ReadCurrentParameterSet();
    heading.provenance = ReadCurrentProvenance();
    heading.storeFile = ParameterStoreFile();
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
  const ParameterSet parameters = ReadReportRow(heading);
  heading.reportTime = ReportTimeText();
  // The measured data beside the model; a file that cannot be read is named in the summary with why.
  heading.measured = LoadMeasuredInput(m_strDataPath, heading.provenance[kSource]);
  const ReportWorkbook report = BuildReportWorkbook(parameters, heading);

  // Done with the table before the spreadsheet program starts.
  g_pRecordset->Close();

  // A step that fails raises (AutomationError, OperationError): OnCommand reports it and the dialog
  // stays open.
  if (!ShowReportWorkbook(report)) {
    DialogMessageBox("创建Excel服务失败!", "信息提示", kMbOk);
    ThePlatform().ExitProcess(1);
  }

  // The plain dialog close with OK: no import.
  EndDialogOk();
}
