// The parameter report: the derived quantities of the current parameter set and the cells of the
// report's sheets (laid out in report_layout.h).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/report_layout.h"

#include "store/store.h"

// atof of the Microsoft run-time, independent of the process locale: leading white space, optional
// sign, digits, optional fraction, optional exponent introduced by e, E, d or D; the longest valid
// prefix; nothing gives 0. Shared by the report, the hand-off and the history workbook. When used is
// given, it receives the length of the text that was read (0 when there is no number).
double TextToDouble(const std::string& text, std::size_t* used = nullptr);

// Whether the whole text is a number by that rule: it reads the text to its end (blanks and tabs
// after the number aside) and the number is finite; *number then receives it. The model import
// takes only such values, and the history workbook writes only them as numbers.
bool TextIsNumber(const std::string& text, double* number = nullptr);

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
