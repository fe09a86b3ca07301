// How far a fit can be trusted: each parameter's standard error at the imported values, from the
// measured spectrum and the model's Jacobian, and the data's own Kramers–Kronig check (the linear
// KK test: RC elements spaced evenly in log τ). Both work on the first sweep of the measured data.
//
// Standard errors (all eleven parameters free, no refit): w_i = 1/|Z_model(ω_i)|, residuals
// r_i = w_i·(Z′_model − Z′_meas), r_{N+i} = w_i·(Z″_model − Z″_meas); s² = Σr²/ν with ν = 2N − 11;
// C = s²·(JᵀJ)⁻¹ with J = ∂r/∂θ at fixed weights, solved on unit-norm columns by SVD; SE_j = √C_jj;
// the 95 % interval θ_j ± t(0.975, ν)·SE_j. C, f and Rp by the delta method with the same C.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "circuit/measured_fit.h"
#include "circuit/quantities.h"
#include "circuit/parameter_set.h"

// A quantity whose relative standard error exceeds this, or whose direction the data cannot resolve,
// is not determined.
inline constexpr double kMaxRelativeError = 10.0;  // 1000 %
inline constexpr const char* kNotDeterminedText = "无法确定";

// One quantity's value and, when it is determined, its standard error and 95 % interval.
struct QualityEstimate {
  double value = 0;
  std::optional<double> se;
  double low = 0, high = 0;  // the 95 % interval, when se is given
  bool Determined() const { return se.has_value(); }
};

// The data's Kramers–Kronig check. Residuals are fractions of the measured |Z|.
struct KramersKronigCheck {
  std::size_t m = 0;            // RC elements of the model taken
  double mu = 0;                // 1 − Σ|R_k<0| / Σ|R_k≥0|
  double pseudoChiSquare = 0;   // Σ(Δ′² + Δ″²)
  double noisePercent = 0;      // √(5000·pseudo χ²/N) %
  double maxResidualPercent = 0;
  double maxResidualFrequency = 0;
  std::vector<double> residualReal, residualImaginary;  // Δ′_i, Δ″_i, one per point
};

inline constexpr std::size_t kMaxKramersKronigElements = 50;
inline constexpr double kKramersKronigMuLimit = 0.85;

// The linear KK test of the points; nullopt when they are too few (under 3) or span no frequency range.
std::optional<KramersKronigCheck> CheckKramersKronig(const std::vector<MeasuredPoint>& points);

struct FitQuality {
  std::size_t points = 0;
  std::optional<double> chiSquare;  // as FitMeasuredData gives it
  long dof = 0;                     // ν = 2N − 11
  double s2 = 0;
  double tQuantile = 0;             // t(0.975, ν)
  // Indexed by ReportQuantity: the eleven parameters, then C1, f1, C2, f2, C3, f3, Rp.
  std::array<QualityEstimate, kReportQuantityCount> estimates{};
  // The correlation of the eleven parameters; empty where a parameter's direction is not resolved.
  std::array<std::array<std::optional<double>, kParameterCount>, kParameterCount> correlation{};
  std::optional<KramersKronigCheck> kk;
};

// The quality of the parameter set against the measured data.
FitQuality ComputeFitQuality(const MeasuredData& data, const ParameterSet& parameters);

// The KK figures in words: "KK 残差最大 0.8 %（0.05 Hz），估计噪声 0.3 %（M = 7，μ = 0.81）".
std::string KramersKronigText(const KramersKronigCheck& kk);

// What a row of the store keeps of it, as texts (numbers with 17 significant digits; empty where
// there is no value or it is not determined), in the order of kQualityColumns.
QualityTexts QualityColumnTexts(const std::string& dataFile, const FitQuality& quality);

// 17 significant digits, the shortest form of them, independent of the process locale.
std::string NumberText17(double value);
