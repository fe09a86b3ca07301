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

SheetChart PutKramersKronigResiduals(FormattedSheet& sheet, std::size_t column, std::size_t frequencyColumn,
                                     const KramersKronigCheck& kk, const ChartAxis& frequencyAxis,
                                     std::size_t anchorRow) {
  sheet.cells.push_back({0, column, "KK ΔZ′/|Z| (%)", CellStyle::kHeader, {}});
  sheet.cells.push_back({0, column + 1, "KK ΔZ″/|Z| (%)", CellStyle::kHeader, {}});
  sheet.columnWidths.resize(std::max(sheet.columnWidths.size(), column), 11);
  sheet.columnWidths.insert(sheet.columnWidths.begin() + static_cast<std::ptrdiff_t>(column), {15, 15});
  for (std::size_t i = 0; i < kk.residualReal.size(); ++i) {
    sheet.cells.push_back({i + 1, column, 100.0 * kk.residualReal[i], CellStyle::kNumber, "0.000"});
    sheet.cells.push_back({i + 1, column + 1, 100.0 * kk.residualImaginary[i], CellStyle::kNumber, "0.000"});
  }
  SheetChart chart;
  chart.title = "Kramers-Kronig 残差";
  chart.x = frequencyAxis;
  chart.y = {"ΔZ/|Z| (%)", false, {}, {}, {}, "0.0"};
  const std::size_t last = kk.residualReal.size();
  chart.series = {{"KK ΔZ′/|Z|", frequencyColumn, column, 1, last, SeriesStyle::kLineAndMarkers, false, {}},
                  {"KK ΔZ″/|Z|", frequencyColumn, column + 1, 1, last, SeriesStyle::kLineAndMarkers, false, {}}};
  chart.legend = true;
  chart.anchorRow = anchorRow;
  chart.width = 600;
  chart.height = 300;
  return chart;
}
