// The history workbook: every row of table1 in read order on one sheet, with the derived quantities
// of each row and trend charts of the resistances and capacitances.
//
// Sheet "参数历史": row 1 the headers (frozen, with an autofilter), then one row per stored row:
// the row number, the import time (a date when the stored text is "YYYY-MM-DDThh:mm:ssZ"), the
// model file's name, the eleven values, then C1, f1, C2, f2, C3, f3 and Rp by the report's rules.
// A value is a number when the report's atof rule reads the whole text; otherwise its text is kept.
// Beside the table: a chart of R0, R1, R2, R3 and Rp and one of C1, C2 and C3 over the row number.
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
// failure raises std::runtime_error with a message that names the file; nothing is left behind.
long SaveHistoryWorkbook(const std::string& target);

// Writes the history workbook to a new file in the user's temporary directory and opens it with the
// default spreadsheet application ("参数历史…" of the dialog). Failures raise as above.
void ShowHistoryWorkbook();
