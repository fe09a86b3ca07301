// What the report's sheets show of the fit's quality (circuit/fit_quality.h): the summary's columns of
// each value's standard error and 95 % interval, and the Kramers–Kronig residuals beside the fit's.
#pragma once

#include <cstddef>
#include <string>

#include "circuit/fit_quality.h"
#include "report/report_sheets.h"

// The headers of the quality columns, from `column` on: "标准误差", "95 % 下限", "95 % 上限".
void PutQualityHeaders(FormattedSheet& sheet, std::size_t row, std::size_t column);

// The quality of the value named `name` ("L0" … "Rp"): its standard error and interval as numbers,
// or "无法确定".
void PutQualityCells(FormattedSheet& sheet, std::size_t row, std::size_t column, const std::string& name,
                     const FitQuality& quality);

// The KK residuals Δ′, Δ″ (%) in two columns from `column` on: the header in row 0, the points from
// row 1, at most maxRows of them (the measured rows beside them).
void PutKramersKronigColumns(FormattedSheet& sheet, std::size_t column, const KramersKronigCheck& kk,
                             std::size_t maxRows);

// The chart of those columns' first `points` rows over `frequencyColumn` (the measured frequencies).
SheetChart KramersKronigChart(std::size_t column, std::size_t frequencyColumn, std::size_t points,
                              const ChartAxis& frequencyAxis);
