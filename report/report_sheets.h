// The report as data: every sheet of the workbook — the parameter sheet, "报告" (the summary) and
// "阻抗谱" (the modelled spectrum) — as typed cells with their number formats, column widths, page
// setup and charts. The portable core builds it once (BuildReportWorkbook); one backend call shows it
// (ShowReportWorkbook, report/show_report.h): on Linux libxlsxwriter writes it as .xlsx, on Windows
// the spreadsheet program is driven through automation.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "report/measured_data.h"
#include "report/report.h"
#include "report/spectrum.h"
#include "store/store.h"

// Shown for a provenance value the row does not have.
inline constexpr const char* kNoValue = "—";

enum class CellStyle {
  kText,       // a plain text
  kTitle,      // the sheet's title: bold, larger
  kHeader,     // a column header or a label: bold
  kNumber,     // a number in its cell's number format ("General" when it has none)
  kTypedText,  // a text put in as typed: a writer of files stores a number when the text is one
               // (CellNumber); the parameter sheet's cells, which automation writes as texts
};

struct SheetCell {
  std::size_t row = 0;     // from 0
  std::size_t column = 0;  // from 0
  std::variant<std::string, double> value;
  CellStyle style = CellStyle::kText;
  std::string numberFormat;  // of a number; empty: "General"
};

enum class SeriesStyle { kLineAndMarkers, kMarkers, kLine };

// One series of a scatter chart: x and y values from the rows firstRow … lastRow (from 0) of two
// columns of the chart's own sheet.
struct ChartSeries {
  std::string name;
  std::size_t xColumn = 0, yColumn = 0;
  std::size_t firstRow = 0, lastRow = 0;
  SeriesStyle style = SeriesStyle::kLineAndMarkers;
  bool secondaryAxis = false;  // against the value axis on the right
  // Labels of single points: the point's index in the series (from 0) and its text.
  std::vector<std::pair<std::size_t, std::string>> pointLabels;
};

struct ChartAxis {
  std::string title;
  bool logarithmic = false;  // base 10
  std::optional<double> min, max, majorUnit;
  std::string numberFormat;  // of the tick labels; empty: as the cells
};

// Where the plot area lies inside the chart, in pixels from the chart's top left corner.
struct PlotArea {
  double left = 0, top = 0, width = 0, height = 0;
};

struct SheetChart {
  std::string title;
  ChartAxis x, y, y2;  // y2: the secondary value axis, when a series uses it
  std::vector<ChartSeries> series;
  bool legend = false;
  // The plot area the axis ranges were chosen for. A writer that can place it does; one that
  // cannot relies on the chart's automatic layout, which the margins of NyquistPlotArea describe.
  std::optional<PlotArea> plotArea;
  std::size_t anchorRow = 0, anchorColumn = 0;  // the cell at the chart's top left corner
  double width = 480, height = 288;             // in pixels
};

struct FormattedSheet {
  std::string name;  // the name the sheet carries in the workbook
  // The name by which automation asks a new workbook for the sheet it already has ("sheet1"); empty
  // for a sheet that is added after the last.
  std::string item;
  std::vector<SheetCell> cells;       // written in this order
  std::vector<double> columnWidths;   // in characters, from column A on
  // The height of every row down to the last chart, in points, said outright: a reader that picks
  // its own default height from its fonts would squeeze charts sized in rows. None: the default.
  std::optional<double> rowHeight;
  bool formatted = true;              // false: cells only (no widths, page setup or charts)
  bool landscape = false;
  bool fitToOnePageWide = true;
  std::optional<std::size_t> repeatRows;  // rows 0 … repeatRows printed atop every page
  std::vector<std::size_t> pageBreaks;    // a new printed page starts at each of these rows
  std::vector<SheetChart> charts;
};

// The rows a sheet uses: its cells and its charts (at the sheet's row height, else 20 pixels).
std::size_t RowsInUse(const FormattedSheet& sheet);

struct ReportWorkbook {
  std::vector<FormattedSheet> sheets;  // in workbook order, the parameter sheet first
  std::string fileName;                // the name the report is kept under (ReportFileName)
};

// What the summary says besides the values.
struct SummaryHeading {
  std::string reportTime;  // "YYYY-MM-DD hh:mm:ss", local time
  Provenance provenance;   // of the reported row; empty texts where it has none
  std::string storeFile;
  MeasuredInput measured;  // the data file beside the model, or the one named for this run
};

// The parameter sheet: names in row 1, texts in row 2, by the layout's column list (all 36 cells,
// the empty ones too, row 1 from column A on, then row 2).
FormattedSheet BuildParameterSheet(const ReportSheet& layout, const ReportTexts& texts);

// The summary: title, report time, provenance and store, the measured data (its file, points,
// frequency range and χ² from fit; or why the file could not be read), every report value with its
// unit, then the circuit and the formulas of C and f.
// With the fit's quality, each value's standard error and 95 % interval ("无法确定" when the data
// cannot determine it) beside it, and the Kramers–Kronig check in words.
struct FitQuality;
FormattedSheet BuildSummarySheet(const ReportTexts& texts, const SummaryHeading& heading,
                                 const MeasuredFit* fit = nullptr, const FitQuality* quality = nullptr);

// The spectrum: one row per frequency, printed on its own pages, then the Nyquist and Bode charts.
// With a fit of measured data, the measured rows beside it (the model at each measured frequency
// and the residuals), the measured points as markers beside the model's line, and a fourth chart
// of the residuals over the frequency; with the fit's quality, the Kramers–Kronig residuals beside them.
FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum, const MeasuredFit* fit = nullptr,
                                  const FitQuality* quality = nullptr);

// The whole report of a parameter set, its sheets in the order of kReportSheets; the measured data
// that heading.measured read, fitted with the parameter set.
ReportWorkbook BuildReportWorkbook(const ParameterSet& parameters, const SummaryHeading& heading);

// A number format that shows v with the significant digits it needs, at most six ("0.0E+00" for
// 2e-8, "0.00000E+00" for 1.39072427e-5, "0.000" for 159.154946); the cell keeps the full value.
std::string SignificantFormat(double v);

// The Nyquist chart's axes for the points (Z′, −Z″): both ranges whole multiples of one step, so that
// one ohm is as long on either axis in a plot area of the returned proportions; every point inside.
struct NyquistFrame {
  ChartAxis x, y;
  PlotArea plot;
  double width = 0, height = 0;  // the chart's size in pixels
};
NyquistFrame NyquistAxes(const std::vector<std::pair<double, double>>& points, double chartWidth);

// The local date and time as the summary shows it.
std::string ReportTimeText();

// The report time as a file name shows it: "YYYYMMDD-hhmmss".
std::string FileStamp(const std::string& reportTime);

// The report file's name: the model file's base name (without directory and extension; "qelmora-report"
// when the row names no file) and the report time, as "<name>-YYYYMMDD-hhmmss.xlsx". Characters
// a file name cannot hold become "_".
std::string ReportFileName(const std::string& source, const std::string& reportTime);
