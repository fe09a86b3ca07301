// The parameter report: the derived quantities of the current parameter set and the cells of the
// report's sheets (laid out in report_layout.h).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/number_text.h"
#include "report/report_layout.h"

#include "store/store.h"

// The text of every report quantity: a stored parameter as it is stored, a derived one with 9
// significant digits (empty when it has no finite value).
using ReportTexts = std::array<std::string, kReportQuantityCount>;

// Computes C1, f1, C2, f2, C3, f3 and Rp beside the stored texts.
ReportTexts ComputeReportTexts(const ParameterSet& parameters);

// Row 1 (headers) and row 2 (texts) of one report sheet, from column A on.
struct ReportCells {
  std::vector<std::string> names;
  std::vector<std::string> values;
};

// The two rows of a sheet of the report.
ReportCells SheetCells(const ReportSheet& sheet, const ReportTexts& texts);

// The two rows of the report's first sheet (the parameter sheet).
ReportCells BuildReportCells(const ParameterSet& parameters);
