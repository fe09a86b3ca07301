// The content of the report's summary: its title and the report's values, each with its unit, as
// plain data for the spreadsheet writers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/report.h"

inline constexpr const char* kSummaryTitle = "qelmora 参数报告";

struct SummaryRow {
  std::string name;              // "L0", "R1", "CPE1-T", "C1", "f1", "Rp", ...
  std::string unit;              // "H", "Ω", "S·s^P", "F", "Hz"; empty for a CPE exponent
  std::string text;              // the report's text: the stored text, or the 9-digit derived value
  std::optional<double> number;  // the text as a spreadsheet takes it (CellNumber), when it is a number
};

// The unit of a report value by its name.
std::string ReportUnit(const std::string& name);

// The values of the report in its order (L0, R0, per stage R, CPE-T, CPE-P, C, f, then Rp).
std::vector<SummaryRow> BuildSummaryRows(const ReportCells& cells);
