#include "circuit/measured_fit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "circuit/spectrum.h"

MeasuredFit FitMeasuredData(const MeasuredData& data, const ParameterSet& parameters, std::size_t maxRows) {
  const CircuitValues circuit = ReadCircuitValues(parameters);
  const auto finite = [](double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; };
  MeasuredFit fit;
  fit.points = data.points.size();
  fit.rows.reserve(std::min(maxRows, data.points.size()));
  double sum = 0;
  bool complete = !data.points.empty();
  fit.minFrequency = std::numeric_limits<double>::infinity();
  fit.maxFrequency = 0;
  for (const MeasuredPoint& point : data.points) {
    const std::complex<double> model = CircuitImpedance(circuit, point.frequency);
    const double dr = point.real - model.real(), di = point.imaginary - model.imag();
    const double term = (dr * dr + di * di) / std::norm(model);
    complete = complete && std::isfinite(term);
    sum += term;
    fit.minFrequency = std::min(fit.minFrequency, point.frequency);
    fit.maxFrequency = std::max(fit.maxFrequency, point.frequency);
    if (fit.rows.size() >= maxRows) continue;
    const double modulus = std::hypot(point.real, point.imaginary);
    MeasuredRow& row = fit.rows.emplace_back();
    row[kMeasuredFrequency] = point.frequency;
    row[kMeasuredReal] = point.real;
    row[kMeasuredImaginary] = point.imaginary;
    row[kModelReal] = finite(model.real());
    row[kModelImaginary] = finite(model.imag());
    if (modulus > 0) {
      row[kResidualReal] = finite(100.0 * dr / modulus);
      row[kResidualImaginary] = finite(100.0 * di / modulus);
    }
  }
  if (complete) fit.chiSquare = sum / static_cast<double>(data.points.size());
  if (data.points.empty()) fit.minFrequency = 0;
  return fit;
}
