// The modelled impedance spectrum of the fitted circuit: L0 and R0 in series with the three R–CPE
// stages, at 71 frequencies from 10 mHz to 100 kHz, ten per decade.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <optional>

#include "circuit/parameter_set.h"

inline constexpr std::size_t kSpectrumPoints = 71;

// The columns of one point, in the order of the report and of the CSV output.
enum SpectrumColumn : std::size_t {
  kSpectrumFrequency,  // f (Hz)
  kSpectrumReal,       // Z' = Re Z (Ω)
  kSpectrumImaginary,  // Z'' = Im Z (Ω)
  kSpectrumModulus,    // |Z| (Ω)
  kSpectrumPhase,      // atan2(Im Z, Re Z) in degrees
  kSpectrumColumns
};

// One point; a value that is not finite is left empty.
using SpectrumPoint = std::array<std::optional<double>, kSpectrumColumns>;
using Spectrum = std::array<SpectrumPoint, kSpectrumPoints>;

// The numbers of a parameter set as the report reads them (TextToDouble; an empty text is 0).
struct CircuitValues {
  double l0 = 0, r0 = 0;
  std::array<double, 3> r{}, t{}, p{};  // per stage: R, CPE-T, CPE-P
};
CircuitValues ReadCircuitValues(const ParameterSet& parameters);

// f_k = 10^(k/10 − 2) Hz, k = 0 … 70.
double SpectrumFrequency(std::size_t k);

// Z(f) = R0 + jωL0 + Σ R_i / (1 + R_i·T_i·(jω)^P_i), ω = 2πf, (jω)^P = ω^P·(cos(πP/2) + j·sin(πP/2)).
std::complex<double> CircuitImpedance(const CircuitValues& circuit, double frequency);

// The spectrum of the parameter set at the 71 frequencies. |Z| and the phase are given only where
// both parts of Z are finite.
Spectrum ComputeSpectrum(const ParameterSet& parameters);
