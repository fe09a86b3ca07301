// The history workbook: every row of table1 in read order on one sheet, with the derived quantities
// of each row and trend charts of the resistances and capacitances.
//
// Sheet "参数历史": row 1 the headers (frozen, with an autofilter), then one row per stored row:
// the row number, the import time (a date when the stored text is "YYYY-MM-DDThh:mm:ssZ"), the
// model file's name, the eleven values, then C1, f1, C2, f2, C3, f3 and Rp by the report's rules.
// A value is a number when the report's atof rule reads the whole text; otherwise its text is kept.
// Beside the table, the charts of kHistoryCharts (report_layout.h): resistances with Rp,
// capacitances, characteristic frequencies over the row number, each on a logarithmic value axis.
//
// Written by libxlsxwriter on Linux (history_xlsx_linux.cpp) in its constant-memory mode, so that
// memory stays flat whatever the number of rows. The Windows build has no .xlsx writer of its own.
#pragma once

#include <string>

// The sheet's name.
inline constexpr const char* kHistorySheetName = "参数历史";

// Writes the history of the run's store (TheParameterStore) to a new file at target, which it replaces
// when everything was written: the workbook is made in a private folder beside the target and then
// renamed into place. Returns the number of rows written. Store failures raise StoreError; any other
// failure raises OperationError with a message that names the file; nothing is left behind.
// replace false: an existing file of that name is left as it is and the write fails.
long SaveHistoryWorkbook(const std::string& target, bool replace = true);

// Writes the history workbook to a new file "qelmora-history-YYYYMMDD-hhmmss.xlsx" in the folder of
// the user's workbooks (qelmora/ in the documents folder) and opens it with the default spreadsheet
// application ("参数历史…" of the dialog). Failures raise as above, or OperationError.
void ShowHistoryWorkbook();
