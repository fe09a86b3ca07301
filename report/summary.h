// The content of the report's summary: its title, the report's values, each with its unit from the
// layout table, and the notes that say which circuit and which formulas the values follow.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/report.h"

inline constexpr const char* kSummaryTitle = "qelmora 参数报告";

// Printed below the values: the circuit in words and the formulas of the derived quantities (2π taken
// with π = 3.1415926, as the report computes f).
inline constexpr std::pair<const char*, const char*> kSummaryNotes[] = {
    {"等效电路", "L0 + R0 + (R1‖CPE1) + (R2‖CPE2) + (R3‖CPE3)"},
    {"等效电容", "C = (R·T)^(1/P) / R"},
    {"特征频率", "f = 1 / (2π·(R·T)^(1/P))，π = 3.1415926"},
    {"极化电阻", "Rp = R1 + R2 + R3"},
};

struct SummaryRow {
  std::string name;              // "L0", "R1", "CPE1-T", "C1", "f1", "Rp", ...
  std::string unit;              // "H", "Ω", "S·s^P", "F", "Hz"; empty for a CPE exponent
  std::string text;              // the report's text: the stored text, or the 9-digit derived value
  std::optional<double> number;  // the text as a spreadsheet takes it (CellNumber), when it is a number
};

// The values of the parameter sheet in its column order (L0, R0, per stage R, CPE-T, CPE-P, C, f,
// then Rp), with the units of report_layout.h.
std::vector<SummaryRow> BuildSummaryRows(const ReportTexts& texts);
