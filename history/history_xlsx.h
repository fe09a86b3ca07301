// The history workbook: the rows of table1 that the filters let through, in read order, with the
// derived quantities of each row, the changes that stand out within each series, and one trend
// chart per quantity.
//
// Sheet "趋势图" comes first, where the workbook opens: its title and the count of flagged changes,
// then one chart per quantity (kHistoryChartQuantities), each on a printed page of its own, over the
// import time (a date axis), its value axis fitted to the values and their standard errors, the
// standard errors as error bars where a row has them.
//
// Sheet "参数历史": row 1 a note (the rows, the flagged changes, the filters), row 2 the headers
// (frozen, with an autofilter, repeated on every printed page), then one row per stored row: the
// row number, the import time (a date when the stored text is "YYYY-MM-DDThh:mm:ssZ"), the model
// file's path, the eleven values, C1, f1, C2, f2, C3, f3 and Rp by the report's rules, then each
// parameter's standard error and its change flag (history_series.h). A value is a number when the
// report's atof rule reads the whole text, shown with the digits of its text; otherwise its text is
// kept. A history longer than a sheet continues on "参数历史 (2)", "参数历史 (3)" ...
//
// Written on Linux (history_xlsx_linux.cpp) by libxlsxwriter, but for the rows, which stream from
// the store into the sheets' XML in one read, so that memory stays flat whatever the number of rows.
// The Windows build has no .xlsx writer of its own.
#pragma once

#include <string>

#include "history/history_filter.h"

// The sheets' names.
inline constexpr const char* kHistorySheetName = "参数历史";
inline constexpr const char* kHistoryChartSheetName = "趋势图";

// A worksheet holds 1,048,576 rows; a history sheet's first two hold the note and the headers.
inline constexpr long kWorksheetRows = 1048576;
inline constexpr long kHistoryHeaderRows = 2;
inline constexpr long kHistoryRowsPerSheet = kWorksheetRows - kHistoryHeaderRows;

struct HistoryWorkbookRequest {
  HistoryFilter filter;          // the rows of the table and the charts
  std::string title;             // the charts' sheet's title; empty: the sheet's name and the filters
  bool wholeHistory = false;     // also every row of the store on a sheet of its own, "全部历史"
  long rowsPerSheet = kHistoryRowsPerSheet;  // rows of the history on one sheet
};

// Writes the history of the run's store (TheParameterStore) to a new file at target, which it replaces
// when everything was written: the workbook is made in a private folder beside the target and then
// renamed into place. Returns the number of rows written. Store failures raise StoreError, filters the
// store cannot answer OperationError; any other failure raises OperationError with a message that
// names the file; nothing is left behind. replace false: an existing file of that name is left as it
// is and the write fails.
long SaveHistoryWorkbook(const std::string& target, bool replace = true, const HistoryWorkbookRequest& request = {});

// What the dialog shows for a model file: the series of its folder, titled by that folder, and the
// whole history on a sheet of its own; without a model file, the whole history.
HistoryWorkbookRequest SeriesRequest(const std::string& modelPath);

// Writes the history workbook to a new file "qelmora-history-YYYYMMDD-hhmmss.xlsx" in the folder of
// the user's workbooks (qelmora/ in the documents folder) and opens it with the default spreadsheet
// application ("参数历史…" of the dialog): SeriesRequest(modelPath). Failures raise as above, or
// OperationError.
void ShowHistoryWorkbook(const std::string& modelPath = {});
