#include "circuit/spectrum.h"

#include <cmath>
#include <numbers>

#include "base/number_text.h"

namespace {

struct Stage {
  ParameterIndex r, t, p;
};
constexpr Stage kStages[] = {{kR1, kCpe1T, kCpe1P}, {kR2, kCpe2T, kCpe2P}, {kR3, kCpe3T, kCpe3P}};

std::optional<double> Finite(double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; }

}  // namespace

CircuitValues ReadCircuitValues(const ParameterSet& parameters) {
  CircuitValues circuit;
  circuit.l0 = TextToDouble(parameters[kL0]);
  circuit.r0 = TextToDouble(parameters[kR0]);
  for (std::size_t i = 0; i < std::size(kStages); ++i) {
    circuit.r[i] = TextToDouble(parameters[kStages[i].r]);
    circuit.t[i] = TextToDouble(parameters[kStages[i].t]);
    circuit.p[i] = TextToDouble(parameters[kStages[i].p]);
  }
  return circuit;
}

double SpectrumFrequency(std::size_t k) {
  // The exponent as one correctly rounded quotient. Below 1 Hz the reciprocal of the positive power:
  // not every pow is correctly rounded for negative exponents (MinGW's gives 0.010000000000000002 for
  // 10^-2), while 10^1 and 10^2 are exact everywhere, so every decade is exact.
  const double exponent = (static_cast<double>(k) - 20.0) / 10.0;
  return exponent < 0 ? 1.0 / std::pow(10.0, -exponent) : std::pow(10.0, exponent);
}

std::complex<double> CircuitImpedance(const CircuitValues& circuit, double frequency) {
  using std::numbers::pi;
  const double omega = 2.0 * pi * frequency;
  std::complex<double> z(circuit.r0, omega * circuit.l0);
  for (std::size_t i = 0; i < circuit.r.size(); ++i) {
    const double p = circuit.p[i];
    const double magnitude = circuit.r[i] * circuit.t[i] * std::pow(omega, p);
    const std::complex<double> denominator(1.0 + magnitude * std::cos(pi * p / 2.0), magnitude * std::sin(pi * p / 2.0));
    z += circuit.r[i] / denominator;
  }
  return z;
}

Spectrum ComputeSpectrum(const ParameterSet& parameters) {
  using std::numbers::pi;
  const CircuitValues circuit = ReadCircuitValues(parameters);
  Spectrum spectrum;
  for (std::size_t k = 0; k < kSpectrumPoints; ++k) {
    const double f = SpectrumFrequency(k);
    const std::complex<double> z = CircuitImpedance(circuit, f);
    SpectrumPoint& point = spectrum[k];
    point[kSpectrumFrequency] = f;
    point[kSpectrumReal] = Finite(z.real());
    point[kSpectrumImaginary] = Finite(z.imag());
    // A modulus or an angle of a value with an infinite or undefined part would pretend a precision
    // that the value does not have.
    if (point[kSpectrumReal] && point[kSpectrumImaginary]) {
      point[kSpectrumModulus] = Finite(std::abs(z));
      point[kSpectrumPhase] = std::atan2(z.imag(), z.real()) * (180.0 / pi);
    }
  }
  return spectrum;
}
