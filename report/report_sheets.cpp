#include "report/report_sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <numbers>
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

// The printed pages of the spectrum sheet (portrait A4, one page wide): the table on two pages (its
// header repeated), the Nyquist chart on the third, the two Bode charts on the fourth. Rows are
// 18 points (24 pixels) high: a page holds 40.
constexpr std::size_t kTableSecondPageRow = 37;
constexpr std::size_t kChartsFirstRow = kSpectrumPoints + 2;
constexpr double kRowPoints = 18;
constexpr double kRowPixels = kRowPoints * 4 / 3;
constexpr double kChartWidth = 600;

// The automatic layout's margins around the plot area of a chart with a title and two axis titles,
// in pixels: what LibreOffice Calc leaves for the title, the tick labels and the axis titles (measured
// with the workbook's font, Calibri or its metric twin Carlito). Excel is given the plot area itself.
constexpr PlotArea kAutomaticMargins = {81, 75, 20, 72};  // left, top, right, bottom

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

NyquistFrame NyquistAxes(const std::vector<std::pair<double, double>>& points, double chartWidth) {
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
  const double plotWidth = chartWidth - kAutomaticMargins.left - kAutomaticMargins.width;
  constexpr double kMinPlotHeight = 180, kMaxPlotHeight = 600, kMinPlotWidth = 240;
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
  frame.plot = {kAutomaticMargins.left, kAutomaticMargins.top, cell * columns, cell * rows};
  frame.width = cell * columns + kAutomaticMargins.left + kAutomaticMargins.width;
  frame.height = cell * rows + kAutomaticMargins.top + kAutomaticMargins.height;
  return frame;
}

FormattedSheet BuildParameterSheet(const ReportSheet& layout, const ReportTexts& texts) {
  FormattedSheet sheet;
  sheet.name = layout.title;
  sheet.item = layout.item != nullptr ? layout.item : "";
  sheet.formatted = false;
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
  line("测量数据", measured.file);
  if (!measured.data || fit == nullptr) {
    line("读取失败", measured.failure.empty() ? std::string(kNoValue) : measured.failure);
    return row;
  }
  const MeasuredData& data = *measured.data;
  line("数据格式", data.format, SweepText(data));
  line("测量点数", static_cast<double>(data.points.size()));
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
  Put(sheet, 0, 0, kSummaryTitle, CellStyle::kTitle);

  const auto orNone = [](const std::string& text) { return text.empty() ? std::string(kNoValue) : text; };
  const std::pair<const char*, std::string> facts[] = {
      {"报告时间", heading.reportTime},
      {"模型文件", orNone(heading.provenance[kSource])},
      {"导入时间", orNone(heading.provenance[kImportedAt])},
      {"数据库", heading.storeFile},
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
  for (const SummaryRow& value : BuildSummaryRows(texts)) {
    Put(sheet, row, 0, value.name, CellStyle::kText);
    if (value.number) {
      Put(sheet, row, 1, *value.number, CellStyle::kNumber, SignificantFormat(*value.number));
    } else if (!value.text.empty()) {
      Put(sheet, row, 1, value.text, CellStyle::kText);
    }
    if (!value.unit.empty()) Put(sheet, row, 2, value.unit, CellStyle::kText);
    if (quality != nullptr) PutQualityCells(sheet, row, 3, value.name, *quality);
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

FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum, const MeasuredFit* fit, const FitQuality* quality) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSpectrum);
  sheet.columnWidths.assign(std::begin(kSpectrumColumnWidths), std::end(kSpectrumColumnWidths));
  for (std::size_t column = 0; column < std::size(kSpectrumHeaders); ++column) {
    Put(sheet, 0, column, kSpectrumHeaders[column], CellStyle::kHeader);
  }

  std::vector<std::pair<double, double>> nyquistPoints;
  double modulusLow = 0, modulusHigh = 0, phaseLow = 0, phaseHigh = 0;
  bool anyModulus = false;
  const auto modulusRange = [&](double modulus, double phase) {
    modulusLow = anyModulus ? std::min(modulusLow, modulus) : modulus;
    modulusHigh = anyModulus ? std::max(modulusHigh, modulus) : modulus;
    phaseLow = anyModulus ? std::min(phaseLow, phase) : phase;
    phaseHigh = anyModulus ? std::max(phaseHigh, phase) : phase;
    anyModulus = true;
  };
  ChartSeries nyquistSeries = SpectrumSeries("Z", kSpectrumReal, kNegativeImaginaryColumn);
  for (std::size_t k = 0; k < spectrum.size(); ++k) {
    const SpectrumPoint& point = spectrum[k];
    for (std::size_t column = 0; column < kSpectrumColumns; ++column) {
      if (!point[column]) continue;
      Put(sheet, k + 1, column, *point[column], CellStyle::kNumber,
          column == kSpectrumPhase ? "0.00" : column == kSpectrumFrequency ? "" : "0.0000E+00");
    }
    if (point[kSpectrumImaginary]) {
      Put(sheet, k + 1, kNegativeImaginaryColumn, -*point[kSpectrumImaginary], CellStyle::kNumber, "0.0000E+00");
      if (point[kSpectrumReal]) {
        nyquistPoints.emplace_back(*point[kSpectrumReal], -*point[kSpectrumImaginary]);
        if (k % 10 == 0) nyquistSeries.pointLabels.emplace_back(k, DecadeLabel(*point[kSpectrumFrequency]));
      }
    }
    if (point[kSpectrumModulus] && *point[kSpectrumModulus] > 0) modulusRange(*point[kSpectrumModulus], *point[kSpectrumPhase]);
  }

  // The measured rows: the columns of MeasuredColumn, then −Z″, |Z| and the phase for the charts.
  const std::size_t measuredRows = fit != nullptr ? fit->rows.size() : 0;
  double frequencyLow = SpectrumFrequency(0), frequencyHigh = SpectrumFrequency(kSpectrumPoints - 1);
  if (measuredRows > 0) {
    sheet.columnWidths.insert(sheet.columnWidths.end(), std::begin(kMeasuredColumnWidths), std::end(kMeasuredColumnWidths));
    for (std::size_t column = 0; column < std::size(kMeasuredHeaders); ++column) {
      Put(sheet, 0, kMeasuredFirstColumn + column, kMeasuredHeaders[column], CellStyle::kHeader);
    }
    for (std::size_t i = 0; i < measuredRows; ++i) {
      const MeasuredRow& row = fit->rows[i];
      for (std::size_t column = 0; column < kMeasuredColumns; ++column) {
        if (!row[column]) continue;
        const bool residual = column == kResidualReal || column == kResidualImaginary;
        Put(sheet, i + 1, kMeasuredFirstColumn + column, *row[column], CellStyle::kNumber,
            column == kMeasuredFrequency ? "" : residual ? "0.000" : "0.0000E+00");
      }
      const double re = *row[kMeasuredReal], im = *row[kMeasuredImaginary], f = *row[kMeasuredFrequency];
      const double modulus = std::hypot(re, im), phase = std::atan2(im, re) * (180.0 / std::numbers::pi);
      Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredNegativeImaginary, -im, CellStyle::kNumber, "0.0000E+00");
      Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredModulus, modulus, CellStyle::kNumber, "0.0000E+00");
      Put(sheet, i + 1, kMeasuredFirstColumn + kMeasuredPhase, phase, CellStyle::kNumber, "0.00");
      nyquistPoints.emplace_back(re, -im);
      if (modulus > 0) modulusRange(modulus, phase);
      frequencyLow = std::min(frequencyLow, f);
      frequencyHigh = std::max(frequencyHigh, f);
    }
  }
  // With measured points the model is the line through them; the points are markers.
  const auto measuredSeries = [&](std::size_t x, std::size_t y, const char* name) {
    return ChartSeries{name, kMeasuredFirstColumn + x, kMeasuredFirstColumn + y, 1, measuredRows, SeriesStyle::kMarkers, false, {}};
  };
  const auto withMeasured = [&](SheetChart& chart, std::size_t x, std::size_t y) {
    if (measuredRows == 0) return;
    chart.series.front().name = "模型";
    chart.series.front().style = SeriesStyle::kLine;
    chart.series.push_back(measuredSeries(x, y, "测量"));
    chart.legend = true;
  };

  const NyquistFrame frame = NyquistAxes(nyquistPoints, kChartWidth);
  SheetChart nyquist;
  nyquist.title = "Nyquist";
  nyquist.x = frame.x;
  nyquist.y = frame.y;
  nyquist.series = {nyquistSeries};
  withMeasured(nyquist, kMeasuredReal, kMeasuredNegativeImaginary);
  nyquist.plotArea = frame.plot;
  nyquist.anchorRow = kChartsFirstRow;
  nyquist.width = frame.width;
  nyquist.height = frame.height;

  // Bode: |Z| and the phase in two charts over the same logarithmic frequency axis, one decade a label.
  const auto [frequencyMin, frequencyMax] = DecadeBounds(frequencyLow, frequencyHigh);
  const ChartAxis frequencyAxis{"f (Hz)", true, measuredRows > 0 ? frequencyMin : frequencyLow,
                                measuredRows > 0 ? frequencyMax : frequencyHigh, 10.0, "General"};
  const std::size_t bodeRow = kChartsFirstRow + static_cast<std::size_t>(std::ceil(frame.height / kRowPixels)) + 1;
  SheetChart modulus;
  modulus.title = "Bode |Z|";
  modulus.x = frequencyAxis;
  modulus.y = {"|Z| (Ω)", true, {}, {}, 10.0, "General"};
  if (anyModulus) std::tie(modulus.y.min, modulus.y.max) = DecadeBounds(modulusLow, modulusHigh);
  modulus.series = {SpectrumSeries("|Z|", kSpectrumFrequency, kSpectrumModulus)};
  withMeasured(modulus, kMeasuredFrequency, kMeasuredModulus);
  modulus.anchorRow = bodeRow;
  modulus.width = kChartWidth;
  modulus.height = 340;

  SheetChart phase;
  phase.title = "Bode phase";
  phase.x = frequencyAxis;
  phase.y = {"phase (°)", false, {}, {}, {}, "0"};
  if (anyModulus) {
    const double unit = phaseHigh - phaseLow > 90 ? 30 : 15;
    phase.y.min = std::floor(phaseLow / unit) * unit;
    phase.y.max = std::max(*phase.y.min + unit, std::ceil(phaseHigh / unit) * unit);
    phase.y.majorUnit = unit;
  }
  phase.series = {SpectrumSeries("phase", kSpectrumFrequency, kSpectrumPhase)};
  withMeasured(phase, kMeasuredFrequency, kMeasuredPhase);
  phase.anchorRow = bodeRow + static_cast<std::size_t>(std::ceil(modulus.height / kRowPixels));
  phase.width = kChartWidth;
  phase.height = 260;

  sheet.charts = {nyquist, modulus, phase};
  sheet.rowHeight = kRowPoints;
  sheet.repeatRows = 0;
  sheet.pageBreaks = {kTableSecondPageRow, kChartsFirstRow, bodeRow};
  if (measuredRows > 0) {
    // The residuals over the same frequency axis, on a page of their own.
    SheetChart residuals;
    residuals.title = "残差";
    residuals.x = frequencyAxis;
    residuals.y = {"ΔZ/|Z| (%)", false, {}, {}, {}, "0.0"};
    residuals.series = {measuredSeries(kMeasuredFrequency, kResidualReal, "ΔZ′/|Z|"),
                        measuredSeries(kMeasuredFrequency, kResidualImaginary, "ΔZ″/|Z|")};
    for (ChartSeries& series : residuals.series) series.style = SeriesStyle::kLineAndMarkers;
    residuals.legend = true;
    residuals.anchorRow = phase.anchorRow + static_cast<std::size_t>(std::ceil(phase.height / kRowPixels)) + 1;
    residuals.width = kChartWidth;
    residuals.height = 300;
    sheet.pageBreaks.push_back(residuals.anchorRow);
    sheet.charts.push_back(residuals);
    if (quality != nullptr && quality->kk) {
      // The data's own KK residuals below the fit's, on the same page.
      sheet.charts.push_back(PutKramersKronigResiduals(
          sheet, kMeasuredFirstColumn + std::size(kMeasuredHeaders), kMeasuredFirstColumn + kMeasuredFrequency,
          *quality->kk, frequencyAxis, residuals.anchorRow + static_cast<std::size_t>(std::ceil(residuals.height / kRowPixels)) + 1));
    }
  }
  return sheet;
}

ReportWorkbook BuildReportWorkbook(const ParameterSet& parameters, const SummaryHeading& heading) {
  const ReportTexts texts = ComputeReportTexts(parameters);
  std::optional<MeasuredFit> fit;
  std::optional<FitQuality> quality;
  if (heading.measured.data) {
    fit = FitMeasuredData(*heading.measured.data, parameters);
    quality = ComputeFitQuality(*heading.measured.data, parameters);
  }
  const MeasuredFit* fitted = fit ? &*fit : nullptr;
  const FitQuality* judged = quality ? &*quality : nullptr;
  ReportWorkbook report;
  for (const ReportSheet& sheet : kReportSheets) {
    switch (sheet.kind) {
      case ReportSheetKind::kParameterRow: report.sheets.push_back(BuildParameterSheet(sheet, texts)); break;
      case ReportSheetKind::kSummary: report.sheets.push_back(BuildSummarySheet(texts, heading, fitted, judged)); break;
      case ReportSheetKind::kSpectrum: report.sheets.push_back(BuildSpectrumSheet(ComputeSpectrum(parameters), fitted, judged)); break;
    }
  }
  report.fileName = ReportFileName(heading.provenance[kSource], heading.reportTime);
  return report;
}

std::string ReportTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string FileStamp(const std::string& reportTime) {
  std::string stamp;
  for (char c : reportTime) {
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
