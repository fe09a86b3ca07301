// The report's layout, the one place that says it: the unit of every quantity, which sheets the
// report has, in each sheet which column shows which quantity under which header (the header in row
// 1, the value in row 2), and the charts of the history workbook. The report as data
// (report_sheets.cpp), the CSV output (report_cli.cpp), the summary and the history workbook all read
// it. A new sheet of names and values is one more column list and one more line of kReportSheets.
// The summary and spectrum sheets have no column list: their cells, formats and charts are built in
// report_sheets.cpp, after the parameter sheet.
#pragma once

#include <cstddef>
#include <iterator>
#include <span>
#include <string>

#include "circuit/quantities.h"

struct ReportColumn {
  const char* header;
  ReportQuantity quantity;
};

enum class ReportSheetKind {
  kParameterRow,  // names in row 1, values in row 2, by its column list
  kSummary,       // "报告": title, provenance, the values with units (report_sheets.h)
  kSpectrum,      // "阻抗谱": the modelled spectrum beside the measured one (report_sheets.h)
  kSpectrumCharts,  // "阻抗谱图": the spectrum's charts, a printed page each (report_sheets.h)
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
    {nullptr, "阻抗谱图", {}, ReportSheetKind::kSpectrumCharts},
};

inline constexpr std::size_t kReportColumns = std::size(kParameterSheetColumns);

// The charts of the history workbook, one per quantity in this order, each over the import time on
// a value axis fitted to its values (history_xlsx.h).
inline constexpr ReportQuantity kHistoryChartQuantities[] = {
    kQuantityR0,    kQuantityR1,    kQuantityR2,    kQuantityR3, kQuantityRp, kQuantityCpe1T,
    kQuantityCpe1P, kQuantityCpe2T, kQuantityCpe2P, kQuantityCpe3T, kQuantityCpe3P, kQuantityC1,
    kQuantityC2,    kQuantityC3,    kQuantityF1,    kQuantityF2, kQuantityF3, kQuantityL0};

// The letters of a column, A = 0 (Z, AA, AB ... after).
std::string ReportColumnLetters(std::size_t column);
