#include "report/report_sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <numbers>
#include <optional>
#include <tuple>
#include <string_view>

#include "report/quality_sheets.h"
#include "report/summary.h"

namespace {

void Put(FormattedSheet& sheet, std::size_t row, std::size_t column, std::variant<std::string, double> value,
         CellStyle style, std::string numberFormat = {}) {
  sheet.cells.push_back({row, column, std::move(value), style, std::move(numberFormat)});
}

// The sheet's name in the layout table.
std::string SheetTitle(ReportSheetKind kind) {
  for (const ReportSheet& sheet : kReportSheets) {
    if (sheet.kind == kind) return sheet.title;
  }
  return {};
}

// The step of 1, 2 or 5 × 10^n nearest above v (v > 0).
double NiceStep(double v) {
  const double decade = std::pow(10.0, std::floor(std::log10(v)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * decade >= v * 0.999999) return step * decade;
  }
  return 10.0 * decade;
}

// Spectrum sheet columns: the CSV's five, then −Z″ for the Nyquist chart.
constexpr const char* kSpectrumHeaders[] = {"f (Hz)", "Z′ (Ω)", "Z″ (Ω)", "|Z| (Ω)", "phase (°)", "−Z″ (Ω)"};
constexpr std::size_t kNegativeImaginaryColumn = kSpectrumColumns;
constexpr double kSpectrumColumnWidths[] = {11, 14, 14, 14, 11, 14};

// The measured rows beside the model's, after one empty column: the columns of MeasuredColumn, then
// −Z″, |Z| and the phase of the measured points for the charts.
constexpr std::size_t kMeasuredFirstColumn = std::size(kSpectrumHeaders) + 1;
constexpr const char* kMeasuredHeaders[] = {"f (Hz)",      "Z′ 测量 (Ω)",  "Z″ 测量 (Ω)", "Z′ 模型 (Ω)",  "Z″ 模型 (Ω)",
                                            "ΔZ′/|Z| (%)", "ΔZ″/|Z| (%)", "−Z″ 测量 (Ω)", "|Z| 测量 (Ω)", "phase 测量 (°)"};
constexpr std::size_t kMeasuredNegativeImaginary = kMeasuredColumns, kMeasuredModulus = kMeasuredColumns + 1,
                      kMeasuredPhase = kMeasuredColumns + 2;
constexpr double kMeasuredColumnWidths[] = {3, 11, 13, 13, 13, 13, 12, 12, 13, 13, 14};

// The printed pages (A4, one page wide): the spectrum's table on two pages under its repeated
// header; each chart on a page of its own, as wide as the page. Rows are 18 points (24 pixels)
// high: a page holds 40.
constexpr std::size_t kTableSecondPageRow = 37;
constexpr std::size_t kRowsPerPage = 40;
constexpr double kRowPoints = 18;
constexpr double kRowPixels = kRowPoints * 4 / 3;
constexpr double kChartWidth = 640;

// The margins around a Nyquist chart's plot area, in pixels: room for the title, the tick labels and
// the axis titles (with the workbook's font, Calibri or its metric twin Carlito), and below them the
// legend when there is one.
constexpr PlotArea kPlotMargins = {81, 75, 20, 72};  // left, top, right, bottom
constexpr double kLegendHeight = 28;

// A frequency as the decade labels show it: "0.01 Hz" … "100 kHz".
std::string DecadeLabel(double f) {
  const char* const texts[] = {"0.01 Hz", "0.1 Hz", "1 Hz", "10 Hz", "100 Hz", "1 kHz", "10 kHz", "100 kHz"};
  const long decade = std::lround(std::log10(f)) + 2;
  return decade >= 0 && decade < 8 ? texts[decade] : std::string();
}

// A series of the spectrum's rows 1 … 71 in the style of a model: a line with its points marked.
ChartSeries SpectrumSeries(const char* name, std::size_t xColumn, std::size_t yColumn) {
  ChartSeries series;
  series.name = name;
  series.xColumn = xColumn;
  series.yColumn = yColumn;
  series.firstRow = 1;
  series.lastRow = kSpectrumPoints;
  return series;
}

// The decades a positive range covers, as axis bounds.
std::pair<double, double> DecadeBounds(double low, double high) {
  double min = std::pow(10.0, std::floor(std::log10(low)));
  double max = std::pow(10.0, std::ceil(std::log10(high)));
  if (!(max > min)) max = min * 10;
  return {min, max};
}

}  // namespace

std::size_t RowsInUse(const FormattedSheet& sheet) {
  const double rowPixels = sheet.rowHeight ? *sheet.rowHeight * 4 / 3 : 20;
  std::size_t rows = 0;
  for (const SheetCell& cell : sheet.cells) rows = std::max(rows, cell.row + 1);
  for (const SheetChart& chart : sheet.charts) {
    rows = std::max(rows, chart.anchorRow + static_cast<std::size_t>(std::ceil(chart.height / rowPixels)) + 1);
  }
  return rows;
}

std::string SignificantFormat(double v) {
  if (!std::isfinite(v) || v == 0) return "General";
  char text[32];
  std::snprintf(text, sizeof text, "%.5e", std::fabs(v));  // d.ddddde±xx
  const std::string_view digits(text, 7);
  int significant = 6;
  while (significant > 1 && digits[static_cast<std::size_t>(significant)] == '0') --significant;
  const int exponent = std::atoi(text + 8);
  const double magnitude = std::fabs(v);
  if (magnitude < 1e-3 || magnitude >= 1e6) {
    return "0." + std::string(static_cast<std::size_t>(std::max(1, significant - 1)), '0') + "E+00";
  }
  const int decimals = std::max(0, significant - 1 - exponent);
  return decimals == 0 ? "0" : "0." + std::string(static_cast<std::size_t>(decimals), '0');
}

NyquistFrame NyquistAxes(const std::vector<std::pair<double, double>>& points, double chartWidth, bool legend) {
  double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
  bool any = false;
  for (const auto& [x, y] : points) {
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    xLow = any ? std::min(xLow, x) : x, xHigh = any ? std::max(xHigh, x) : x;
    yLow = any ? std::min(yLow, y) : y, yHigh = any ? std::max(yHigh, y) : y;
    any = true;
  }
  // The real axis is always shown: −Z″ = 0 lies inside.
  yLow = std::min(yLow, 0.0), yHigh = std::max(yHigh, 0.0);
  const double span = std::max({xHigh - xLow, yHigh - yLow, std::fabs(xHigh) * 1e-6, 1e-12});

  NyquistFrame frame;
  const double plotWidth = chartWidth - kPlotMargins.left - kPlotMargins.width;
  const double bottom = kPlotMargins.height + (legend ? kLegendHeight : 0);
  constexpr double kMinPlotHeight = 180, kMaxPlotHeight = 700, kMinPlotWidth = 240;
  // About ten grid steps across the longer data span; the same step on both axes.
  const double step = NiceStep(span / 10);
  // Whole steps around the data; a quotient rounded the wrong way gets one step more.
  const auto from = [step](double low) {
    const double start = std::floor(low / step) * step;
    return start > low ? start - step : start;
  };
  const auto steps = [step](double start, double high) {
    double n = std::max(1.0, std::ceil((high - start) / step));
    return start + n * step < high ? n + 1 : n;
  };
  const double x0 = from(xLow), y0 = from(yLow);
  double columns = steps(x0, xHigh), rows = steps(y0, yHigh);
  // One ohm per the same length on both axes: one grid step is a square of `cell` pixels. A plot
  // that would be too tall for the page is made narrower (the chart with it), down to a least width
  // that gets more room on the real axis; one too flat gets more room upwards.
  double cell = plotWidth / columns;
  if (cell * rows > kMaxPlotHeight) cell = kMaxPlotHeight / rows;
  if (cell * columns < kMinPlotWidth) columns = std::ceil(kMinPlotWidth / cell);
  if (cell * rows < kMinPlotHeight) rows = std::ceil(kMinPlotHeight / cell);

  frame.x = {"Z′ (Ω)", false, x0, x0 + columns * step, step, {}};
  frame.y = {"−Z″ (Ω)", false, y0, y0 + rows * step, step, {}};
  frame.plot = {kPlotMargins.left, kPlotMargins.top, cell * columns, cell * rows};
  frame.width = cell * columns + kPlotMargins.left + kPlotMargins.width;
  frame.height = cell * rows + kPlotMargins.top + bottom;
  return frame;
}

std::vector<std::size_t> LabelsThatFit(const NyquistFrame& frame,
                                       const std::vector<std::pair<std::pair<double, double>, std::string>>& labels) {
  struct Box {
    double left, top, right, bottom;
  };
  std::vector<Box> boxes;
  std::vector<std::size_t> kept;
  const double xRange = *frame.x.max - *frame.x.min, yRange = *frame.y.max - *frame.y.min;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const auto& [point, text] = labels[i];
    if (text.empty()) continue;
    const double x = frame.plot.left + (point.first - *frame.x.min) / xRange * frame.plot.width;
    const double y = frame.plot.top + (*frame.y.max - point.second) / yRange * frame.plot.height;
    const Box box{x + 4, y - 6, x + 4 + 6.0 * static_cast<double>(text.size()), y + 6};
    const bool overlaps = std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) {
      return box.left < b.right && b.left < box.right && box.top < b.bottom && b.top < box.bottom;
    });
    if (overlaps) continue;
    boxes.push_back(box);
    kept.push_back(i);
  }
  return kept;
}

FormattedSheet BuildParameterSheet(const ReportSheet& layout, const ReportTexts& texts) {
  FormattedSheet sheet;
  sheet.name = layout.title;
  sheet.item = layout.item != nullptr ? layout.item : "";
  sheet.formatted = false;
  sheet.landscape = true;  // its one row of eighteen columns on one page
  const ReportCells cells = SheetCells(layout, texts);
  for (std::size_t column = 0; column < cells.names.size(); ++column) {
    Put(sheet, 0, column, cells.names[column], CellStyle::kTypedText);
  }
  for (std::size_t column = 0; column < cells.values.size(); ++column) {
    Put(sheet, 1, column, cells.values[column], CellStyle::kTypedText);
  }
  return sheet;
}

// The summary's lines of the measured data: the file, then what was read from it or why nothing was.
std::size_t PutMeasuredSummary(FormattedSheet& sheet, std::size_t row, const MeasuredInput& measured,
                               const MeasuredFit* fit, const FitQuality* quality) {
  if (measured.file.empty()) return row;
  const auto line = [&](const std::string& label, std::variant<std::string, double> value, std::string note = {}) {
    const bool number = std::holds_alternative<double>(value);
    Put(sheet, row, 0, label, CellStyle::kHeader);
    Put(sheet, row, 1, value, number ? CellStyle::kNumber : CellStyle::kText,
        number ? SignificantFormat(std::get<double>(value)) : std::string());
    if (!note.empty()) Put(sheet, row, 2, std::move(note), CellStyle::kText);
    ++row;
  };
  line("测量数据", PathAsShown(measured.file));
  if (!measured.data || fit == nullptr) {
    line("读取失败", measured.failure.empty() ? std::string(kNoValue) : measured.failure);
    return row;
  }
  const MeasuredData& data = *measured.data;
  line("数据格式", data.format, SweepText(data));
  line("测量点数", static_cast<double>(data.points.size()));
  if (fit->rows.size() < fit->points || fit->rows.size() > kMaxChartPoints) {
    line("报告所列", "表中 " + std::to_string(fit->rows.size()) + " 个点，图中 " +
                         std::to_string(std::min(fit->rows.size(), kMaxChartPoints)) + " 个点",
         "工作表最多 " + std::to_string(kMaxSheetMeasuredRows) + " 行，图的一条曲线最多 " +
             std::to_string(kMaxChartPoints) + " 个点");
  }
  line("最低频率", fit->minFrequency, "Hz");
  line("最高频率", fit->maxFrequency, "Hz");
  if (fit->chiSquare) {
    line(kChiSquareName, *fit->chiSquare, kChiSquareFormula);
  } else {
    line(kChiSquareName, kNoValue, kChiSquareFormula);
  }
  if (quality != nullptr && quality->kk) line("KK 检验", KramersKronigText(*quality->kk), "线性 Kramers-Kronig 检验");
  line("残差", "ΔZ′/|Z|, ΔZ″/|Z| (%)", "Δ = 测量值 − 模型值，|Z| 为测量值的模");
  for (const auto& [key, value] : data.facts) line(key, value);
  return row;
}

FormattedSheet BuildSummarySheet(const ReportTexts& texts, const SummaryHeading& heading, const MeasuredFit* fit,
                                 const FitQuality* quality) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSummary);
  sheet.columnWidths = {16, 18, 10};
  if (quality != nullptr) sheet.columnWidths.insert(sheet.columnWidths.end(), {12, 12, 12});
  const std::size_t noteColumn = sheet.columnWidths.size();
  sheet.columnWidths.push_back(36);
  Put(sheet, 0, 0, kSummaryTitle, CellStyle::kTitle);

  const auto orNone = [](const std::string& text) { return text.empty() ? std::string(kNoValue) : text; };
  const std::pair<const char*, std::string> facts[] = {
      {"报告时间", heading.reportTime},
      {"模型文件", orNone(PathAsShown(heading.provenance[kSource]))},
      {"导入时间", orNone(SummaryTimeOfStored(heading.provenance[kImportedAt]))},
      {"数据库", PathAsShown(heading.storeFile)},
  };
  std::size_t row = 2;
  for (const auto& [label, text] : facts) {
    Put(sheet, row, 0, label, CellStyle::kHeader);
    Put(sheet, row, 1, text, CellStyle::kText);
    ++row;
  }
  row = PutMeasuredSummary(sheet, row, heading.measured, fit, quality);

  ++row;
  Put(sheet, row, 0, "参数", CellStyle::kHeader);
  Put(sheet, row, 1, "数值", CellStyle::kHeader);
  Put(sheet, row, 2, "单位", CellStyle::kHeader);
  if (quality != nullptr) PutQualityHeaders(sheet, row, 3);
  ++row;
  // A characteristic frequency outside the spectrum's frequencies (the measured ones when there are)
  // lies off its charts: said beside it.
  const bool measured = fit != nullptr && !fit->rows.empty();
  const double low = measured ? fit->minFrequency : SpectrumFrequency(0);
  const double high = measured ? fit->maxFrequency : SpectrumFrequency(kSpectrumPoints - 1);
  for (const SummaryRow& value : BuildSummaryRows(texts)) {
    Put(sheet, row, 0, value.name, CellStyle::kText);
    if (value.number) {
      Put(sheet, row, 1, *value.number, CellStyle::kNumber, SignificantFormat(*value.number));
    } else if (!value.text.empty()) {
      Put(sheet, row, 1, value.text, CellStyle::kText);
    }
    if (!value.unit.empty()) Put(sheet, row, 2, value.unit, CellStyle::kText);
    if (quality != nullptr) PutQualityCells(sheet, row, 3, value.name, *quality);
    if (value.number && value.unit == std::string("Hz") && (*value.number < low || *value.number > high)) {
      char note[96];
      std::snprintf(note, sizeof note, "%s谱的频率范围 %g – %g Hz", *value.number < low ? "低于" : "高于", low, high);
      Put(sheet, row, noteColumn, note, CellStyle::kText);
    }
    ++row;
  }

  ++row;
  for (const auto& [label, text] : kSummaryNotes) {
    Put(sheet, row, 0, label, CellStyle::kHeader);
    Put(sheet, row, 1, text, CellStyle::kText);
    ++row;
  }
  return sheet;
}

namespace {

// The order of the spectrum's tables: the measured file's (most instruments sweep from the highest
// frequency down), so that rows side by side belong to one direction; low to high without data.
bool Descending(const MeasuredFit* fit) {
  return fit != nullptr && fit->rows.size() > 1 && *fit->rows.front()[kMeasuredFrequency] > *fit->rows.back()[kMeasuredFrequency];
}

// The sheet row (from 1) of the model's point k.
std::size_t SpectrumRow(std::size_t k, bool descending) { return descending ? kSpectrumPoints - k : k + 1; }

// The first and last of n indices that pass keep; none when no index does.
template <typename Keep>
std::optional<std::pair<std::size_t, std::size_t>> Span(std::size_t n, Keep keep) {
  std::optional<std::pair<std::size_t, std::size_t>> span;
  for (std::size_t i = 0; i < n; ++i) {
    if (!keep(i)) continue;
    if (!span) span.emplace(i, i);
    span->second = i;
  }
  return span;
}

// A point of the model's Nyquist line: (Z′, −Z″), when both are finite.
std::optional<std::pair<double, double>> ModelPoint(const SpectrumPoint& point) {
  if (!point[kSpectrumReal] || !point[kSpectrumImaginary]) return std::nullopt;
  return std::make_pair(*point[kSpectrumReal], -*point[kSpectrumImaginary]);
}

std::pair<double, double> MeasuredPointOf(const MeasuredRow& row) { return {*row[kMeasuredReal], -*row[kMeasuredImaginary]}; }

constexpr std::uint32_t kModelColor = 0x2E5C9E, kMeasuredColor = 0xD62728;

// A Nyquist chart over the model's points kFirst … kLast and the measured rows iFirst … iLast.
SheetChart NyquistChart(const char* title, const Spectrum& spectrum, const MeasuredFit* fit, std::pair<std::size_t, std::size_t> model,
                        std::optional<std::pair<std::size_t, std::size_t>> measured) {
  const bool descending = Descending(fit);
  std::vector<std::pair<double, double>> points;
  std::vector<std::pair<std::pair<double, double>, std::string>> labels;
  std::vector<std::size_t> labelIndex;
  const std::size_t firstRow = std::min(SpectrumRow(model.first, descending), SpectrumRow(model.second, descending));
  for (std::size_t k = model.first; k <= model.second; ++k) {
    const auto point = ModelPoint(spectrum[k]);
    if (!point) continue;
    points.push_back(*point);
    if (k % 10 == 0) {
      labels.emplace_back(*point, DecadeLabel(SpectrumFrequency(k)));
      labelIndex.push_back(SpectrumRow(k, descending) - firstRow);
    }
  }
  if (measured) {
    for (std::size_t i = measured->first; i <= measured->second; ++i) points.push_back(MeasuredPointOf(fit->rows[i]));
  }
  const NyquistFrame frame = NyquistAxes(points, kChartWidth, measured.has_value());
  SheetChart chart;
  chart.title = title;
  chart.dataSheet = SheetTitle(ReportSheetKind::kSpectrum);
  chart.x = frame.x;
  chart.y = frame.y;
  chart.x.gridlines = true;  // a square grid: one ohm as long on either axis
  ChartSeries line = SpectrumSeries(measured ? "模型" : "Z", kSpectrumReal, kNegativeImaginaryColumn);
  line.firstRow = firstRow;
  line.lastRow = std::max(SpectrumRow(model.first, descending), SpectrumRow(model.second, descending));
  line.color = kModelColor;
  if (measured) line.style = SeriesStyle::kLine;
  for (const std::size_t kept : LabelsThatFit(frame, labels)) line.pointLabels.emplace_back(labelIndex[kept], labels[kept].second);
  chart.series = {line};
  if (measured) {
    // Drawn after the model's line: above it.
    chart.series.push_back({"测量", kMeasuredFirstColumn + kMeasuredReal, kMeasuredFirstColumn + kMeasuredNegativeImaginary,
                            measured->first + 1, measured->second + 1, SeriesStyle::kMarkers, false, kMeasuredColor, true, {}});
    chart.legend = true;
  }
  chart.plotArea = frame.plot;
  chart.width = frame.width;
  chart.height = frame.height;
  return chart;
}

}  // namespace

namespace {

// The model's table, from row 1 in the order of the measured rows beside it.
void PutModelRows(FormattedSheet& sheet, const Spectrum& spectrum, bool descending) {
  for (std::size_t column = 0; column < std::size(kSpectrumHeaders); ++column) {
    Put(sheet, 0, column, kSpectrumHeaders[column], CellStyle::kHeader);
  }
  for (std::size_t k = 0; k < spectrum.size(); ++k) {
    const SpectrumPoint& point = spectrum[k];
    const std::size_t row = SpectrumRow(k, descending);
    for (std::size_t column = 0; column < kSpectrumColumns; ++column) {
      if (!point[column]) continue;
      Put(sheet, row, column, *point[column], CellStyle::kNumber,
          column == kSpectrumPhase ? "0.00" : column == kSpectrumFrequency ? "" : "0.0000E+00");
    }
    if (point[kSpectrumImaginary]) {
      Put(sheet, row, kNegativeImaginaryColumn, -*point[kSpectrumImaginary], CellStyle::kNumber, "0.0000E+00");
    }
  }
}

// The measured rows: the columns of MeasuredColumn, then −Z″, |Z| and the phase for the charts.
void PutMeasuredRows(FormattedSheet& sheet, const MeasuredFit& fit) {
  sheet.columnWidths.insert(sheet.columnWidths.end(), std::begin(kMeasuredColumnWidths), std::end(kMeasuredColumnWidths));
  for (std::size_t column = 0; column < std::size(kMeasuredHeaders); ++column) {
    Put(sheet, 0, kMeasuredFirstColumn + column, kMeasuredHeaders[column], CellStyle::kHeader);
  }
  for (std::size_t i = 0; i < fit.rows.size(); ++i) {
    const MeasuredRow& row = fit.rows[i];
    for (std::size_t column = 0; column < kMeasuredColumns; ++column) {
      if (!row[column]) continue;
      const bool residual = column == kResidualReal || column == kResidualImaginary;
      Put(sheet, i + 1, kMeasuredFirstColumn + column, *row[column], CellStyle::kNumber,
          column == kMeasuredFrequency ? "" : residual ? "0.000" : "0.0000E+00");
    }
    const double re = *row[kMeasuredReal], im = *row[kMeasuredImaginary];
    Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredNegativeImaginary, -im, CellStyle::kNumber, "0.0000E+00");
    Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredModulus, std::hypot(re, im), CellStyle::kNumber, "0.0000E+00");
    Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredPhase, std::atan2(im, re) * (180.0 / std::numbers::pi),
        CellStyle::kNumber, "0.00");
  }
}

}  // namespace

FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum, const MeasuredFit* fit, const FitQuality* quality) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSpectrum);
  sheet.columnWidths.assign(std::begin(kSpectrumColumnWidths), std::end(kSpectrumColumnWidths));
  PutModelRows(sheet, spectrum, Descending(fit));
  const std::size_t measuredRows = fit != nullptr ? fit->rows.size() : 0;
  if (measuredRows > 0) {
    PutMeasuredRows(sheet, *fit);
    if (quality != nullptr && quality->kk) {
      PutKramersKronigColumns(sheet, kMeasuredFirstColumn + std::size(kMeasuredHeaders), *quality->kk, measuredRows);
    }
    sheet.landscape = true;  // seventeen columns
  }
  sheet.rowHeight = kRowPoints;
  sheet.repeatRows = 0;
  sheet.pageBreaks = {kTableSecondPageRow};
  return sheet;
}

namespace {

// The ranges the spectrum's charts span: |Z| and the phase of the model's and the measured points
// (where |Z| > 0), and the frequencies of both.
struct SpectrumRanges {
  bool anyModulus = false;
  double modulusLow = 0, modulusHigh = 0, phaseLow = 0, phaseHigh = 0;
  double frequencyLow = SpectrumFrequency(0), frequencyHigh = SpectrumFrequency(kSpectrumPoints - 1);

  void AddModulus(double modulus, double phase) {
    modulusLow = anyModulus ? std::min(modulusLow, modulus) : modulus;
    modulusHigh = anyModulus ? std::max(modulusHigh, modulus) : modulus;
    phaseLow = anyModulus ? std::min(phaseLow, phase) : phase;
    phaseHigh = anyModulus ? std::max(phaseHigh, phase) : phase;
    anyModulus = true;
  }
};

SpectrumRanges RangesOf(const Spectrum& spectrum, const MeasuredFit* fit, std::size_t measuredRows) {
  SpectrumRanges ranges;
  for (const SpectrumPoint& point : spectrum) {
    if (point[kSpectrumModulus] && *point[kSpectrumModulus] > 0) ranges.AddModulus(*point[kSpectrumModulus], *point[kSpectrumPhase]);
  }
  for (std::size_t i = 0; i < measuredRows; ++i) {
    const MeasuredRow& row = fit->rows[i];
    const double re = *row[kMeasuredReal], im = *row[kMeasuredImaginary], f = *row[kMeasuredFrequency];
    const double modulus = std::hypot(re, im);
    if (modulus > 0) ranges.AddModulus(modulus, std::atan2(im, re) * (180.0 / std::numbers::pi));
    ranges.frequencyLow = std::min(ranges.frequencyLow, f);
    ranges.frequencyHigh = std::max(ranges.frequencyHigh, f);
  }
  return ranges;
}

// The whole spectrum; then its capacitive part, where −Z″ ≥ 0: of the measured points when there
// are, the model within their frequencies.
std::vector<SheetChart> NyquistCharts(const Spectrum& spectrum, const MeasuredFit* fit, std::size_t measuredRows) {
  std::vector<SheetChart> charts;
  std::optional<std::pair<std::size_t, std::size_t>> allMeasured;
  if (measuredRows > 0) allMeasured.emplace(0, measuredRows - 1);
  charts.push_back(NyquistChart("Nyquist", spectrum, fit, {0, kSpectrumPoints - 1}, allMeasured));
  std::optional<std::pair<std::size_t, std::size_t>> capacitiveMeasured, capacitiveModel;
  double fLow = 0, fHigh = std::numeric_limits<double>::infinity();
  if (measuredRows > 0) {
    capacitiveMeasured = Span(measuredRows, [&](std::size_t i) { return MeasuredPointOf(fit->rows[i]).second >= 0; });
    if (capacitiveMeasured) {
      const double a = *fit->rows[capacitiveMeasured->first][kMeasuredFrequency];
      const double b = *fit->rows[capacitiveMeasured->second][kMeasuredFrequency];
      fLow = std::min(a, b) * (1 - 1e-9), fHigh = std::max(a, b) * (1 + 1e-9);
    }
  }
  if (measuredRows == 0 || capacitiveMeasured) {
    capacitiveModel = Span(kSpectrumPoints, [&](std::size_t k) {
      const auto point = ModelPoint(spectrum[k]);
      const double f = SpectrumFrequency(k);
      return point && point->second >= 0 && f >= fLow && f <= fHigh;
    });
  }
  const bool allCapacitive = measuredRows == 0 || (capacitiveMeasured && capacitiveMeasured->first == 0 &&
                                                   capacitiveMeasured->second == measuredRows - 1);
  const bool whole = capacitiveModel && capacitiveModel->first == 0 && capacitiveModel->second == kSpectrumPoints - 1 &&
                     allCapacitive;
  if (capacitiveModel && !whole) {
    charts.push_back(NyquistChart("Nyquist −Z″ ≥ 0", spectrum, fit, *capacitiveModel, capacitiveMeasured));
  }
  return charts;
}

// The measured rows' columns x and y as open markers (at most kMaxChartPoints of them).
ChartSeries MeasuredSeries(std::size_t x, std::size_t y, const char* name, std::size_t measuredRows) {
  return ChartSeries{name, kMeasuredFirstColumn + x, kMeasuredFirstColumn + y, 1, std::min(measuredRows, kMaxChartPoints), SeriesStyle::kMarkers, false, {}, false, {}};
}

// The model's columns x and y; with measured points the model is the line through them, the
// points (columns measuredX and measuredY) open markers.
std::vector<ChartSeries> ModelSeries(const char* name, std::size_t x, std::size_t y, std::size_t measuredX,
                                     std::size_t measuredY, std::size_t measuredRows) {
  std::vector<ChartSeries> series = {SpectrumSeries(name, x, y)};
  series[0].color = kModelColor;
  if (measuredRows == 0) return series;
  series[0].name = "模型";
  series[0].style = SeriesStyle::kLine;
  series.push_back(MeasuredSeries(measuredX, measuredY, "测量", measuredRows));
  series[1].color = kMeasuredColor;
  series[1].openMarkers = true;
  return series;
}

// Bode: |Z| and the phase over the same logarithmic frequency axis, one decade a label.
std::vector<SheetChart> BodeCharts(const SpectrumRanges& ranges, const ChartAxis& frequencyAxis, std::size_t measuredRows) {
  SheetChart modulus;
  modulus.title = "Bode |Z|";
  modulus.x = frequencyAxis;
  modulus.y = {"|Z| (Ω)", true, {}, {}, 10.0, "General"};
  if (ranges.anyModulus) std::tie(modulus.y.min, modulus.y.max) = DecadeBounds(ranges.modulusLow, ranges.modulusHigh);
  modulus.series = ModelSeries("|Z|", kSpectrumFrequency, kSpectrumModulus, kMeasuredFrequency, kMeasuredModulus, measuredRows);
  modulus.height = 420;

  SheetChart phase;
  phase.title = "Bode phase";
  phase.x = frequencyAxis;
  phase.y = {"phase (°)", false, {}, {}, {}, "0"};
  if (ranges.anyModulus) {
    const double unit = ranges.phaseHigh - ranges.phaseLow > 90 ? 30 : 15;
    phase.y.min = std::floor(ranges.phaseLow / unit) * unit;
    phase.y.max = std::max(*phase.y.min + unit, std::ceil(ranges.phaseHigh / unit) * unit);
    phase.y.majorUnit = unit;
  }
  phase.series = ModelSeries("phase", kSpectrumFrequency, kSpectrumPhase, kMeasuredFrequency, kMeasuredPhase, measuredRows);
  phase.height = 360;
  return {modulus, phase};
}

// The fit's residuals over the frequency, and the data's own KK residuals below them.
std::vector<SheetChart> ResidualCharts(const FitQuality* quality, const ChartAxis& frequencyAxis, std::size_t measuredRows) {
  SheetChart residuals;
  residuals.title = "残差";
  residuals.x = frequencyAxis;
  residuals.y = {"ΔZ/|Z| (%)", false, {}, {}, {}, "0.0"};
  residuals.series = {MeasuredSeries(kMeasuredFrequency, kResidualReal, "ΔZ′/|Z|", measuredRows),
                      MeasuredSeries(kMeasuredFrequency, kResidualImaginary, "ΔZ″/|Z|", measuredRows)};
  for (ChartSeries& series : residuals.series) series.style = SeriesStyle::kLineAndMarkers;
  residuals.height = 400;
  std::vector<SheetChart> charts = {residuals};
  if (quality != nullptr && quality->kk) {
    charts.push_back(KramersKronigChart(kMeasuredFirstColumn + std::size(kMeasuredHeaders),
                                        kMeasuredFirstColumn + kMeasuredFrequency,
                                        std::min({quality->kk->residualReal.size(), measuredRows, kMaxChartPoints}),
                                        frequencyAxis));
  }
  return charts;
}

// Each chart a row below the top of a printed page of its own (a page holds 40 rows; an edge on
// the page's first line would be printed on the page before), at full size.
void PlaceCharts(FormattedSheet& sheet, std::vector<SheetChart> charts) {
  std::size_t row = 0;
  for (SheetChart& chart : charts) {
    chart.dataSheet = SheetTitle(ReportSheetKind::kSpectrum);
    chart.legend = chart.legend || chart.series.size() > 1;
    chart.anchorRow = row + 1;
    if (chart.width == 480) chart.width = kChartWidth;
    if (row > 0) sheet.pageBreaks.push_back(row);
    row += std::max<std::size_t>(kRowsPerPage, static_cast<std::size_t>(std::ceil(chart.height / kRowPixels)) + 2);
  }
  sheet.charts = std::move(charts);
}

}  // namespace

FormattedSheet BuildSpectrumChartSheet(const Spectrum& spectrum, const MeasuredFit* fit, const FitQuality* quality) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSpectrumCharts);
  const std::size_t measuredRows = fit != nullptr ? fit->rows.size() : 0;
  const SpectrumRanges ranges = RangesOf(spectrum, fit, measuredRows);
  const auto [frequencyMin, frequencyMax] = DecadeBounds(ranges.frequencyLow, ranges.frequencyHigh);
  const ChartAxis frequencyAxis{"f (Hz)", true, measuredRows > 0 ? frequencyMin : ranges.frequencyLow,
                                measuredRows > 0 ? frequencyMax : ranges.frequencyHigh, 10.0, "General"};

  std::vector<SheetChart> charts = NyquistCharts(spectrum, fit, measuredRows);
  for (SheetChart& chart : BodeCharts(ranges, frequencyAxis, measuredRows)) charts.push_back(std::move(chart));
  if (measuredRows > 0) {
    for (SheetChart& chart : ResidualCharts(quality, frequencyAxis, measuredRows)) charts.push_back(std::move(chart));
  }
  PlaceCharts(sheet, std::move(charts));
  sheet.rowHeight = kRowPoints;
  return sheet;
}

ReportWorkbook BuildReportWorkbook(const ParameterSet& parameters, const SummaryHeading& heading) {
  const ReportTexts texts = ComputeReportTexts(parameters);
  std::optional<MeasuredFit> fit;
  if (heading.measured.data) fit = FitMeasuredData(*heading.measured.data, parameters, kMaxSheetMeasuredRows);
  const MeasuredFit* fitted = fit ? &*fit : nullptr;
  const Spectrum spectrum = ComputeSpectrum(parameters);
  std::optional<FitQuality> quality;
  if (heading.measured.data) quality = ComputeFitQuality(*heading.measured.data, parameters);
  const FitQuality* judged = quality ? &*quality : nullptr;
  ReportWorkbook report;
  for (const ReportSheet& sheet : kReportSheets) {
    switch (sheet.kind) {
      case ReportSheetKind::kParameterRow: report.sheets.push_back(BuildParameterSheet(sheet, texts)); break;
      case ReportSheetKind::kSummary: report.sheets.push_back(BuildSummarySheet(texts, heading, fitted, judged)); break;
      case ReportSheetKind::kSpectrum: report.sheets.push_back(BuildSpectrumSheet(spectrum, fitted, judged)); break;
      case ReportSheetKind::kSpectrumCharts:
        report.sheets.push_back(BuildSpectrumChartSheet(spectrum, fitted, judged));
        break;
    }
  }
  report.fileName = ReportFileName(heading.provenance[kSource], heading.reportTime);
  return report;
}

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (month 1 … 12).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

}  // namespace

std::string SummaryTimeText(std::time_t time) {
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &time) != 0) return {};
#else
  if (localtime_r(&time, &local) == nullptr) return {};
#endif
  // The offset from UTC: the local fields read as if they were UTC, less the time itself.
  const long long asUtc = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                        static_cast<unsigned>(local.tm_mday)) * 86400 +
                          local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
  const long long offset = (asUtc - static_cast<long long>(time)) / 60;
  char text[32], zone[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(zone, sizeof zone, " UTC%c%02lld:%02lld", offset < 0 ? '-' : '+', std::llabs(offset) / 60,
                std::llabs(offset) % 60);
  return std::string(text) + zone;
}

std::string SummaryTimeOfStored(const std::string& stored) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, length = 0;
  if (std::sscanf(stored.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &year, &month, &day, &hour, &minute, &second, &length) != 6 ||
      static_cast<std::size_t>(length) != stored.size() || month < 1 || month > 12 || day < 1 || day > 31) {
    return stored;
  }
  const long long seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                            hour * 3600LL + minute * 60LL + second;
  const std::string text = SummaryTimeText(static_cast<std::time_t>(seconds));
  return text.empty() ? stored : text;
}

std::string ReportTimeText() { return SummaryTimeText(std::time(nullptr)); }

std::string FileStamp(const std::string& reportTime) {
  std::string stamp;
  for (char c : reportTime) {
    if (stamp.size() == 15) break;  // the date and the time of day, not the offset
    if (c >= '0' && c <= '9') stamp += c;
    if (stamp.size() == 8 && c == ' ') stamp += '-';
  }
  return stamp;
}

std::string ReportFileName(const std::string& source, const std::string& reportTime) {
  std::string name = source;
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.empty()) name = "qelmora-report";
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) c = '_';
  }
  return name + "-" + FileStamp(reportTime) + ".xlsx";
}
