// What qelmora-cli quality prints of the fit's quality (fit_quality.h).
#pragma once

#include <string>

#include "circuit/fit_quality.h"
#include "instrument/measured_data.h"

// One JSON object: data, format, points, weighting ("model modulus"), chi_square, dof, s2,
// parameters (L0 … CPE3-P, C1, f1, C2, f2, C3, f3, Rp: {"value", "se", "ci95": [low, high]} or
// {"value", "determined": false}), correlation (11 × 11, null where a parameter is not resolved) and
// kk (M, mu, pseudo_chi_square, noise_percent, max_residual_percent, max_residual_frequency; null
// without a check). Numbers with 17 significant digits; a value that is not finite is null.
std::string QualityJson(const MeasuredData& data, const FitQuality& quality);

// A readable table: each value with its standard error, relative error and 95 % interval, the
// correlation of each stage's T and P, and the KK figures.
std::string QualityTable(const MeasuredData& data, const FitQuality& quality);
