// Spectra made from known parameters with known noise, for the fit-quality tests and benchmarks.
#pragma once

#include <cmath>
#include <cstdio>
#include <complex>
#include <random>
#include <string>

#include "circuit/fit_quality.h"
#include "circuit/spectrum.h"

// Time constants that put the three arcs near 14 kHz, 36 Hz and 0.16 Hz.
inline ParameterSet KnownParameters() {
  return {"1e-6", "10", "20", "1e-6", "0.95", "100", "1e-4", "0.85", "1000", "1e-3", "0.8"};
}

// N points evenly in log f from `low` to `high` Hz (descending, as instruments sweep), each part
// with Gaussian noise of `noise` times |Z| (a fixed seed). `distort` scales Z″ by (1 + distort)
// between distortLow and distortHigh.
inline MeasuredData SyntheticSpectrum(std::size_t n, double low, double high, double noise, unsigned seed = 7,
                                      double distort = 0, double distortLow = 0, double distortHigh = 0) {
  const CircuitValues circuit = ReadCircuitValues(KnownParameters());
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  MeasuredData data;
  data.file = "synthetic";
  data.format = "text";
  for (std::size_t i = 0; i < n; ++i) {
    const double f = std::exp(std::log(high) + (std::log(low) - std::log(high)) * static_cast<double>(i) / static_cast<double>(n - 1));
    const std::complex<double> z = CircuitImpedance(circuit, f);
    const double modulus = std::abs(z);
    double im = z.imag();
    if (f >= distortLow && f <= distortHigh) im *= 1.0 + distort;
    const double re = z.real() + noise * modulus * gauss(random);
    im += noise * modulus * gauss(random);
    data.points.push_back({f, re, im});
  }
  return data;
}

// The points as a data file of the plain table kind ("f,Zre,Zim"), every digit kept.
inline std::string SpectrumCsv(const MeasuredData& data) {
  std::string text = "f,Zre,Zim\n";
  char line[96];
  for (const MeasuredPoint& p : data.points) {
    std::snprintf(line, sizeof line, "%.17g,%.17g,%.17g\n", p.frequency, p.real, p.imaginary);
    text += line;
  }
  return text;
}
