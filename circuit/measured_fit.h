// The fitted model evaluated at each measured frequency, with its residuals and χ².
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "circuit/measured_spectrum.h"
#include "circuit/parameter_set.h"

// The columns of one measured row of the report and of the CSV output: the measured point, the
// model at its frequency and the residuals ΔZ′/|Z| and ΔZ″/|Z| in % (Δ = measured − model, |Z| the
// measured modulus). A value that is not finite is left empty.
enum MeasuredColumn : std::size_t {
  kMeasuredFrequency,
  kMeasuredReal,
  kMeasuredImaginary,
  kModelReal,
  kModelImaginary,
  kResidualReal,
  kResidualImaginary,
  kMeasuredColumns
};
using MeasuredRow = std::array<std::optional<double>, kMeasuredColumns>;

// The square as the program's texts can hold it: code page 936, the Windows program's, has no "²".
#ifdef _WIN32
#define QELMORA_SQUARE "^2"
#else
#define QELMORA_SQUARE "²"
#endif
inline constexpr const char* kChiSquareName = "χ" QELMORA_SQUARE;
inline constexpr const char* kChiSquareFormula =
    "χ" QELMORA_SQUARE " = (1/N)·Σ[(Z′−Z′fit)" QELMORA_SQUARE " + (Z″−Z″fit)" QELMORA_SQUARE "]/|Zfit|" QELMORA_SQUARE;

// The most measured rows a report's sheet holds (its rows less the header) and the most points a
// chart's series draws (Excel 2007's limit of a series); more are left out and the summary says so.
inline constexpr std::size_t kMaxSheetMeasuredRows = 1048575;
inline constexpr std::size_t kMaxChartPoints = 32000;

struct MeasuredFit {
  std::vector<MeasuredRow> rows;     // one per measured point, at most the maxRows asked for
  std::size_t points = 0;            // the measured points; χ² and the range are over all of them
  std::optional<double> chiSquare;   // kChiSquareFormula; empty when a term is not finite
  double minFrequency = 0, maxFrequency = 0;
};

// The model of the parameter set at the measured frequencies, the residuals and χ²; rows for the
// first maxRows points.
MeasuredFit FitMeasuredData(const MeasuredData& data, const ParameterSet& parameters,
                            std::size_t maxRows = static_cast<std::size_t>(-1));
