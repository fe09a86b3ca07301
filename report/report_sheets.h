// The report as data: every sheet of the workbook — the parameter sheet, "报告" (the summary) and
// "阻抗谱" (the modelled spectrum) — as typed cells with their number formats, column widths, page
// setup and charts. The portable core builds it once (BuildReportWorkbook); one backend call shows it
// (ShowReportWorkbook, spreadsheet/show_report.h): on Linux libxlsxwriter writes it as .xlsx, on Windows
// the spreadsheet program is driven through automation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "circuit/measured_fit.h"
#include "instrument/measured_data.h"
#include "report/report.h"
#include "circuit/spectrum.h"
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
  std::optional<std::uint32_t> color;  // of the line and the markers' edges, 0xRRGGBB; none: the program's own
  bool openMarkers = false;            // markers drawn as outlines, not filled
  // Labels of single points: the point's index in the series (from 0) and its text.
  std::vector<std::pair<std::size_t, std::string>> pointLabels;
};

struct ChartAxis {
  std::string title;
  bool logarithmic = false;  // base 10
  std::optional<double> min, max, majorUnit;
  std::string numberFormat;  // of the tick labels; empty: as the cells
  bool gridlines = false;    // lines across the plot at each major unit (a value axis has them anyway)
};

// Where the plot area lies inside the chart, in pixels from the chart's top left corner.
struct PlotArea {
  double left = 0, top = 0, width = 0, height = 0;
};

struct SheetChart {
  std::string title;
  std::string dataSheet;  // the sheet whose columns the series take; empty: the chart's own
  ChartAxis x, y, y2;  // y2: the secondary value axis, when a series uses it
  std::vector<ChartSeries> series;
  bool legend = false;
  // The plot area the axis ranges were chosen for: every writer places it there.
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
  bool formatted = true;              // false: cells only (no styles, widths or charts), the page setup
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
  std::string reportTime;  // ReportTimeText: "YYYY-MM-DD hh:mm:ss UTC+hh:mm", local time
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

// The spectrum: one row per frequency under a header printed atop each page. With a fit of
// measured data, the measured rows beside it (the model at each measured frequency and the
// residuals), both tables in the measured file's frequency order; with the fit's quality, the
// data's Kramers–Kronig residuals beside them.
FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum, const MeasuredFit* fit = nullptr,
                                  const FitQuality* quality = nullptr);

// The spectrum's charts over the columns of its sheet, each on a printed page of its own: the
// Nyquist chart of the whole spectrum, the Nyquist chart of the capacitive part (−Z″ ≥ 0, of the
// measured points when there are), both one ohm as long on either axis; Bode |Z| and phase; with
// measured data the points as open markers of their own colour over the model's line, with a
// legend, the residuals over the frequency, and with the fit's quality the Kramers–Kronig residuals.
FormattedSheet BuildSpectrumChartSheet(const Spectrum& spectrum, const MeasuredFit* fit = nullptr,
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
// legend: room for a legend below the axis title.
NyquistFrame NyquistAxes(const std::vector<std::pair<double, double>>& points, double chartWidth, bool legend = false);

// Which of the points (x, y in the frame's units) get their label, in order: a label (about
// 6 pixels a character, 12 high, right of its point) that would overlap one already kept is left out.
std::vector<std::size_t> LabelsThatFit(const NyquistFrame& frame,
                                       const std::vector<std::pair<std::pair<double, double>, std::string>>& labels);

// A time as the summary shows it, in local time with the offset from UTC: "2026-12-08 09:54:43 UTC+08:00".
std::string SummaryTimeText(std::time_t time);
// An import time as the store keeps it ("2026-12-08T01:54:43Z") in the summary's form; any other
// text as it is.
std::string SummaryTimeOfStored(const std::string& stored);

// Backend: a path as the summary shows it: on Linux one inside the user's home folder as "~/…" (as
// the desktop shows it, and no user name in a report that is passed on); on Windows as it is.
std::string PathAsShown(const std::string& path);

// The local date and time as the summary shows it (SummaryTimeText of now).
std::string ReportTimeText();

// The report time as a file name shows it: "YYYYMMDD-hhmmss" (the local time, without its offset).
std::string FileStamp(const std::string& reportTime);

// The report file's name: the model file's base name (without directory and extension; "qelmora-report"
// when the row names no file) and the report time, as "<name>-YYYYMMDD-hhmmss.xlsx". Characters
// a file name cannot hold become "_".
std::string ReportFileName(const std::string& source, const std::string& reportTime);
