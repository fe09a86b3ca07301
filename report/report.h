// The parameter report: the derived quantities of the current parameter set and the 18 × 2 cells of
// the report sheet.
#pragma once

#include <array>
#include <string>

#include "store/store.h"

// atof of the Microsoft run-time, independent of the process locale: leading white space, optional
// sign, digits, optional fraction, optional exponent introduced by e, E, d or D; the longest valid
// prefix; nothing gives 0. Shared by the report, the hand-off and the history workbook. When used is
// given, it receives the length of the text that was read (0 when there is no number).
double TextToDouble(const std::string& text, std::size_t* used = nullptr);

inline constexpr std::size_t kReportColumns = 18;

// Row 1 (names) and row 2 (texts) of the report sheet, columns A to R.
struct ReportCells {
  std::array<std::string, kReportColumns> names;
  std::array<std::string, kReportColumns> values;
};

// Computes C1, f1, C2, f2, C3, f3 and Rp and lays out the two rows.
ReportCells BuildReportCells(const ParameterSet& parameters);
