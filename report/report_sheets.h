// The report's formatted sheets, "报告" (the summary) and "阻抗谱" (the modelled spectrum), as plain
// data: typed cells with their number formats, column widths, page setup and charts. The portable
// core builds them once; each backend writes them (Linux: libxlsxwriter; Windows: automation).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "report/report.h"
#include "report/spectrum.h"
#include "store/store.h"

// Shown for a provenance value the row does not have.
inline constexpr const char* kNoValue = "—";

enum class CellStyle {
  kText,        // a plain text
  kTitle,       // the sheet's title: bold, larger
  kHeader,      // a column header or a label: bold
  kNumber,      // a number in the general format
  kScientific,  // a number as 0.00000000E+00 (9 significant digits)
  kFixed2,      // a number with two decimals
};

// The number format of a style ("General" for the styles that show texts).
const char* CellNumberFormat(CellStyle style);

struct SheetCell {
  std::size_t row = 0;     // from 0
  std::size_t column = 0;  // from 0
  std::variant<std::string, double> value;
  CellStyle style = CellStyle::kText;
};

// A scatter chart over columns of its own sheet: each series takes its x and y values from the rows
// firstRow … lastRow (from 0) of two columns.
struct ChartSeries {
  std::string name;
  std::size_t xColumn = 0, yColumn = 0;
  bool secondaryAxis = false;  // plotted against the y axis on the right
};

struct SheetChart {
  std::string title;
  std::string xTitle, yTitle, y2Title;
  std::size_t firstRow = 0, lastRow = 0;
  std::vector<ChartSeries> series;
  bool logX = false, logY = false;
  // Both axes run over [0, equalAxesMax]: one unit is as long on either axis when the plot is square.
  std::optional<double> equalAxesMax;
  std::size_t anchorRow = 0, anchorColumn = 0;  // the cell at the chart's top left corner
  double width = 480, height = 288;             // in pixels
};

struct FormattedSheet {
  std::string name;
  std::vector<SheetCell> cells;
  std::vector<double> columnWidths;  // in characters, from column A on
  bool landscape = true;
  bool fitToOnePageWide = true;
  std::vector<SheetChart> charts;
};

// What the summary says besides the values.
struct SummaryHeading {
  std::string reportTime;  // "YYYY-MM-DD hh:mm:ss", local time
  Provenance provenance;   // of the reported row; empty texts where it has none
  std::string storeFile;
};

// The summary: title, report time, provenance and store, then every report value with its unit.
FormattedSheet BuildSummarySheet(const ReportTexts& texts, const SummaryHeading& heading);

// The spectrum: one row per frequency and the Nyquist and Bode charts.
FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum);

// The formatted sheets of a parameter set, in the order of kReportSheets (after the parameter sheet).
std::vector<FormattedSheet> BuildFormattedSheets(const ParameterSet& parameters, const SummaryHeading& heading);

// The local date and time as the summary shows it.
std::string ReportTimeText();

// The report file's name: the model file's base name (without directory and extension; "qelmora-report"
// when the row names no file) and the report time, as "<name>-YYYYMMDD-hhmmss.xlsx". Characters
// a file name cannot hold become "_".
std::string ReportFileName(const std::string& source, const std::string& reportTime);
