// The report's layout, the one place that says it: which sheets the report has, and in each sheet
// which column shows which quantity under which header (the header in row 1, the value in row 2).
// The spreadsheet command (open_excel.cpp), the .xlsx writer (report_xlsx.cpp) and the CSV output
// (report_cli.cpp) all read it. A new sheet is one more column list and one more line of kReportSheets.
// The summary and spectrum sheets have no column list: their cells, formats and charts are built in
// report_sheets.cpp, and the writers add them after the parameter sheet.
#pragma once

#include <cstddef>
#include <iterator>
#include <span>
#include <string>

// Every quantity a report can show: the eleven stored parameters (in ParameterSet order), then the
// derived ones. report.cpp computes their texts.
enum ReportQuantity : std::size_t {
  kQuantityL0, kQuantityR0, kQuantityR1, kQuantityCpe1T, kQuantityCpe1P, kQuantityR2, kQuantityCpe2T,
  kQuantityCpe2P, kQuantityR3, kQuantityCpe3T, kQuantityCpe3P,
  kQuantityC1, kQuantityF1, kQuantityC2, kQuantityF2, kQuantityC3, kQuantityF3, kQuantityRp,
  kReportQuantityCount
};

struct ReportColumn {
  const char* header;
  ReportQuantity quantity;
};

enum class ReportSheetKind {
  kParameterRow,  // names in row 1, values in row 2, by its column list
  kSummary,       // "报告": title, provenance, the values with units (report_sheets.h)
  kSpectrum,      // "阻抗谱": the modelled spectrum and its two charts (report_sheets.h)
};

struct ReportSheet {
  const char* item;   // the name by which "OpenExcel" asks a new workbook for the sheet; nullptr: added
  const char* title;  // the name the sheet carries in a written .xlsx file
  std::span<const ReportColumn> columns;  // from column A on
  ReportSheetKind kind = ReportSheetKind::kParameterRow;
};

// The parameter sheet, columns A to R.
inline constexpr ReportColumn kParameterSheetColumns[] = {
    {"L0", kQuantityL0},         {"R0", kQuantityR0},         {"R1", kQuantityR1},
    {"CPE1-T", kQuantityCpe1T},  {"CPE1-P", kQuantityCpe1P},  {"C1", kQuantityC1},
    {"f1", kQuantityF1},         {"R2", kQuantityR2},         {"CPE2-T", kQuantityCpe2T},
    {"CPE2-P", kQuantityCpe2P},  {"C2", kQuantityC2},         {"f2", kQuantityF2},
    {"R3", kQuantityR3},         {"CPE3-T", kQuantityCpe3T},  {"CPE3-P", kQuantityCpe3P},
    {"C3", kQuantityC3},         {"f3", kQuantityF3},         {"Rp", kQuantityRp},
};

// The report's sheets in workbook order. The first is the one the CSV output prints.
inline constexpr ReportSheet kReportSheets[] = {
    {"sheet1", "Sheet1", kParameterSheetColumns},
    {nullptr, "报告", {}, ReportSheetKind::kSummary},
    {nullptr, "阻抗谱", {}, ReportSheetKind::kSpectrum},
};

inline constexpr std::size_t kReportColumns = std::size(kParameterSheetColumns);

// The letters of a column, A = 0 (Z, AA, AB ... after).
std::string ReportColumnLetters(std::size_t column);
