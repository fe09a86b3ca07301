// The circuit's parameter set as a row of the store holds it: the eleven element values as texts,
// and what a row keeps of the fit's quality.
#pragma once

#include <array>
#include <cstddef>
#include <string>

// The eleven values of one row, in table order; a NULL column is an empty text.
enum ParameterIndex : std::size_t {
  kL0, kR0, kR1, kCpe1T, kCpe1P, kR2, kCpe2T, kCpe2P, kR3, kCpe3T, kCpe3P, kParameterCount
};
using ParameterSet = std::array<std::string, kParameterCount>;

// The column names, in table order: "L0", "R0", "R1", "CPE1-T", ... "CPE3-P".
extern const std::array<const char*, kParameterCount> kParameterColumns;

// What the import keeps of the fit's quality when measured data lay beside the model file: the data
// file, its points, χ², the Kramers–Kronig check's M, μ and noise (%), then each parameter's standard
// error (L0_se … CPE3-P_se). Texts; empty where there was no data or the value is not determined.
enum QualityIndex : std::size_t {
  kQualityDataFile, kQualityDataPoints, kQualityChiSquare, kQualityKkM, kQualityKkMu, kQualityKkNoise,
  kQualityFirstSe, kQualityCount = kQualityFirstSe + kParameterCount
};
using QualityTexts = std::array<std::string, kQualityCount>;
extern const std::array<const char*, kQualityCount> kQualityColumns;  // "data_file", … "CPE3-P_se"
