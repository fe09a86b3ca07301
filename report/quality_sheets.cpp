#include "report/quality_sheets.h"

void PutQualityHeaders(FormattedSheet& sheet, std::size_t row, std::size_t column) {
  const char* const headers[] = {"标准误差", "95 % 下限", "95 % 上限"};
  for (const char* header : headers) sheet.cells.push_back({row, column++, header, CellStyle::kHeader, {}});
}

void PutQualityCells(FormattedSheet& sheet, std::size_t row, std::size_t column, const std::string& name,
                     const FitQuality& quality) {
  for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
    if (name != kQuantities[q].name) continue;
    const QualityEstimate& e = quality.estimates[q];
    if (!e.se) {
      sheet.cells.push_back({row, column, kNotDeterminedText, CellStyle::kText, {}});
      return;
    }
    for (const double v : {*e.se, e.low, e.high}) {
      sheet.cells.push_back({row, column++, v, CellStyle::kNumber, SignificantFormat(v)});
    }
    return;
  }
}

void PutKramersKronigColumns(FormattedSheet& sheet, std::size_t column, const KramersKronigCheck& kk,
                             std::size_t maxRows) {
  sheet.cells.push_back({0, column, "KK ΔZ′/|Z| (%)", CellStyle::kHeader, {}});
  sheet.cells.push_back({0, column + 1, "KK ΔZ″/|Z| (%)", CellStyle::kHeader, {}});
  sheet.columnWidths.resize(std::max(sheet.columnWidths.size(), column), 11);
  sheet.columnWidths.insert(sheet.columnWidths.begin() + static_cast<std::ptrdiff_t>(column), {15, 15});
  for (std::size_t i = 0; i < std::min(kk.residualReal.size(), maxRows); ++i) {
    sheet.cells.push_back({i + 1, column, 100.0 * kk.residualReal[i], CellStyle::kNumber, "0.000"});
    sheet.cells.push_back({i + 1, column + 1, 100.0 * kk.residualImaginary[i], CellStyle::kNumber, "0.000"});
  }
}

SheetChart KramersKronigChart(std::size_t column, std::size_t frequencyColumn, std::size_t points,
                              const ChartAxis& frequencyAxis) {
  SheetChart chart;
  chart.title = "Kramers-Kronig 残差";
  chart.x = frequencyAxis;
  chart.y = {"ΔZ/|Z| (%)", false, {}, {}, {}, "0.0"};
  chart.series = {{"KK ΔZ′/|Z|", frequencyColumn, column, 1, points, SeriesStyle::kLineAndMarkers, false, {}},
                  {"KK ΔZ″/|Z|", frequencyColumn, column + 1, 1, points, SeriesStyle::kLineAndMarkers, false, {}}};
  chart.legend = true;
  chart.height = 400;
  return chart;
}
