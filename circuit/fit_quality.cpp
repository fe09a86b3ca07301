#include "circuit/fit_quality.h"

#include <Eigen/Dense>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>
#include <numbers>

#include "base/afx.h"
#include "circuit/spectrum.h"

namespace {

using Eigen::Index;
using Eigen::MatrixXd;
using Eigen::VectorXd;
using std::numbers::pi;

struct Stage {
  ReportQuantity r, t, p, c, f;
};
constexpr Stage kStages[] = {{kQuantityR1, kQuantityCpe1T, kQuantityCpe1P, kQuantityC1, kQuantityF1},
                             {kQuantityR2, kQuantityCpe2T, kQuantityCpe2P, kQuantityC2, kQuantityF2},
                             {kQuantityR3, kQuantityCpe3T, kQuantityCpe3P, kQuantityC3, kQuantityF3}};

// A singular value of the unit-norm Jacobian below this share of the largest is a direction the data
// does not resolve.
constexpr double kRankTolerance = 1e-10;
// A parameter with this much of its unit vector in such directions is not resolved.
constexpr double kUnresolvedShare = 1e-2;

// ∂Z/∂θ at one frequency, θ in ParameterSet order.
std::array<std::complex<double>, kParameterCount> ImpedanceGradient(const CircuitValues& circuit, double frequency) {
  const double omega = 2.0 * pi * frequency;
  std::array<std::complex<double>, kParameterCount> gradient{};
  gradient[kL0] = {0.0, omega};
  gradient[kR0] = 1.0;
  const std::complex<double> logJOmega(std::log(omega), pi / 2.0);  // ln(jω)
  for (std::size_t i = 0; i < 3; ++i) {
    const double r = circuit.r[i], t = circuit.t[i], p = circuit.p[i];
    // (jω)^P as the circuit takes it: ω^P·(cos(πP/2) + j·sin(πP/2)).
    const std::complex<double> s = std::pow(omega, p) * std::complex<double>(std::cos(pi * p / 2.0), std::sin(pi * p / 2.0));
    const std::complex<double> d = 1.0 + r * t * s;
    const std::complex<double> d2 = d * d;
    gradient[kStages[i].r] = 1.0 / d2;
    gradient[kStages[i].t] = -r * r * s / d2;
    gradient[kStages[i].p] = -r * r * t * s * logJOmega / d2;
  }
  return gradient;
}

// The parameters whose directions the unit-norm Jacobian `js` cannot resolve, by its singular values.
std::vector<bool> Unresolved(const MatrixXd& js) {
  std::vector<bool> unresolved(static_cast<std::size_t>(js.cols()), false);
  Eigen::JacobiSVD<MatrixXd> svd(js, Eigen::ComputeFullV);
  const VectorXd& sigma = svd.singularValues();
  const MatrixXd& v = svd.matrixV();
  for (Index j = 0; j < js.cols(); ++j) {
    double share = 0;
    for (Index k = 0; k < sigma.size(); ++k) {
      if (!(sigma(k) > kRankTolerance * sigma(0))) share += v(j, k) * v(j, k);
    }
    // A column of zeros (a parameter the model does not depend on here) is never resolved.
    if (share > kUnresolvedShare || !(js.col(j).norm() > 0)) unresolved[static_cast<std::size_t>(j)] = true;
  }
  return unresolved;
}

void SetEstimate(QualityEstimate& estimate, double value, double variance, double t) {
  estimate.value = value;
  const double se = std::sqrt(variance);
  if (!std::isfinite(se) || !std::isfinite(value) || se > kMaxRelativeError * std::fabs(value)) return;
  estimate.se = se;
  estimate.low = value - t * se;
  estimate.high = value + t * se;
}

// Builds the KK model's design matrix for time constants tau, each row divided by the measured |Z|;
// columns R0, R1 … RM, L, 1/C. Fills `target` with the measured parts divided likewise.
void KramersKronigSystem(const std::vector<MeasuredPoint>& points, const std::vector<double>& tau, MatrixXd& a,
                         VectorXd& target) {
  const Index n = static_cast<Index>(points.size());
  const Index m = static_cast<Index>(tau.size());
  a.setZero(2 * n, m + 3);
  target.resize(2 * n);
  for (Index i = 0; i < n; ++i) {
    const MeasuredPoint& point = points[static_cast<std::size_t>(i)];
    const double omega = 2.0 * pi * point.frequency;
    const double w = 1.0 / std::hypot(point.real, point.imaginary);
    a(i, 0) = w;
    for (Index k = 0; k < m; ++k) {
      const double x = omega * tau[static_cast<std::size_t>(k)];
      const double denominator = 1.0 + x * x;  // 1/(1 + jx) = (1 − jx)/(1 + x²)
      a(i, 1 + k) = w / denominator;
      a(n + i, 1 + k) = -w * x / denominator;
    }
    a(n + i, m + 1) = w * omega;   // jωL
    a(n + i, m + 2) = -w / omega;  // 1/(jωC) = −j/(ωC)
    target(i) = w * point.real;
    target(n + i) = w * point.imaginary;
  }
}

}  // namespace

std::string NumberText17(double value) {
  char buffer[32];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

std::optional<KramersKronigCheck> CheckKramersKronig(const std::vector<MeasuredPoint>& points) {
  if (points.size() < 3) return std::nullopt;
  double fMin = std::numeric_limits<double>::infinity(), fMax = 0;
  for (const MeasuredPoint& point : points) {
    if (!(point.frequency > 0) || !(std::hypot(point.real, point.imaginary) > 0)) return std::nullopt;
    fMin = std::min(fMin, point.frequency);
    fMax = std::max(fMax, point.frequency);
  }
  if (!(fMax > fMin)) return std::nullopt;
  const double tauMin = 1.0 / (2.0 * pi * fMax), tauMax = 1.0 / (2.0 * pi * fMin);
  const Index n = static_cast<Index>(points.size());

  MatrixXd a;
  VectorXd target, solution;
  std::vector<double> tau;
  KramersKronigCheck check;
  for (std::size_t m = 2; m <= kMaxKramersKronigElements; ++m) {
    tau.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
      tau[k] = std::exp(std::log(tauMin) + (std::log(tauMax) - std::log(tauMin)) * static_cast<double>(k) / static_cast<double>(m - 1));
    }
    KramersKronigSystem(points, tau, a, target);
    // Unit-norm columns: R, L and 1/C span many decades.
    const VectorXd norms = a.colwise().norm();
    for (Index j = 0; j < a.cols(); ++j) {
      if (norms(j) > 0) a.col(j) /= norms(j);
    }
    solution = a.colPivHouseholderQr().solve(target);
    for (Index j = 0; j < a.cols(); ++j) {
      if (norms(j) > 0) solution(j) /= norms(j);
    }
    double positive = 0, negative = 0;
    for (std::size_t k = 1; k <= m; ++k) {
      const double r = solution(static_cast<Index>(k));
      (r < 0 ? negative : positive) += std::fabs(r);
    }
    check.m = m;
    check.mu = positive > 0 ? 1.0 - negative / positive : 0.0;
    if (check.mu <= kKramersKronigMuLimit) break;
  }
  // The model of the M taken, against the measured parts.
  tau.resize(check.m);
  KramersKronigSystem(points, tau, a, target);  // the same τ as the last pass
  const VectorXd fitted = a * solution;
  check.residualReal.resize(points.size());
  check.residualImaginary.resize(points.size());
  for (Index i = 0; i < n; ++i) {
    // Rows are already divided by |Z_i|: the difference is the residual as a fraction.
    const double dr = target(i) - fitted(i), di = target(n + i) - fitted(n + i);
    check.residualReal[static_cast<std::size_t>(i)] = dr;
    check.residualImaginary[static_cast<std::size_t>(i)] = di;
    check.pseudoChiSquare += dr * dr + di * di;
    const double largest = std::max(std::fabs(dr), std::fabs(di)) * 100.0;
    if (largest > check.maxResidualPercent || i == 0) {
      check.maxResidualPercent = largest;
      check.maxResidualFrequency = points[static_cast<std::size_t>(i)].frequency;
    }
  }
  check.noisePercent = std::sqrt(5000.0 * check.pseudoChiSquare / static_cast<double>(n));
  return check;
}

FitQuality ComputeFitQuality(const MeasuredData& data, const ParameterSet& parameters) {
  FitQuality quality;
  const CircuitValues circuit = ReadCircuitValues(parameters);
  quality.points = data.points.size();
  quality.chiSquare = FitMeasuredData(data, parameters).chiSquare;
  quality.kk = CheckKramersKronig(data.points);

  std::array<double, kParameterCount> theta{};
  theta[kL0] = circuit.l0;
  theta[kR0] = circuit.r0;
  for (std::size_t i = 0; i < 3; ++i) {
    theta[kStages[i].r] = circuit.r[i];
    theta[kStages[i].t] = circuit.t[i];
    theta[kStages[i].p] = circuit.p[i];
  }
  for (std::size_t j = 0; j < kParameterCount; ++j) quality.estimates[j].value = theta[j];

  const Index n = static_cast<Index>(data.points.size());
  const Index q = static_cast<Index>(kParameterCount);
  quality.dof = 2 * static_cast<long>(n) - static_cast<long>(kParameterCount);

  // The weighted residuals and their Jacobian, the weights held fixed.
  MatrixXd j(2 * n, q);
  double ssr = 0;
  bool finite = n > 0;
  for (Index i = 0; i < n; ++i) {
    const MeasuredPoint& point = data.points[static_cast<std::size_t>(i)];
    const std::complex<double> model = CircuitImpedance(circuit, point.frequency);
    const double w = 1.0 / std::abs(model);
    const double rr = w * (model.real() - point.real), ri = w * (model.imag() - point.imaginary);
    ssr += rr * rr + ri * ri;
    const auto gradient = ImpedanceGradient(circuit, point.frequency);
    for (Index k = 0; k < q; ++k) {
      j(i, k) = w * gradient[static_cast<std::size_t>(k)].real();
      j(n + i, k) = w * gradient[static_cast<std::size_t>(k)].imag();
    }
    finite = finite && std::isfinite(ssr);
  }
  finite = finite && j.allFinite();

  // Derived values, whether or not their errors can be had.
  const auto derivedValues = [&](std::size_t i) {
    const double r = circuit.r[i], t = circuit.t[i], p = circuit.p[i];
    const double x = std::pow(r * t, 1.0 / p);
    return std::pair<double, double>{x / r, 1.0 / (2.0 * pi * x)};
  };
  double rp = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const auto [c, f] = derivedValues(i);
    quality.estimates[kStages[i].c].value = c;
    quality.estimates[kStages[i].f].value = f;
    rp += circuit.r[i];
  }
  quality.estimates[kQuantityRp].value = rp;
  if (quality.dof <= 0 || !finite) return quality;

  quality.s2 = ssr / static_cast<double>(quality.dof);
  quality.tQuantile = boost::math::quantile(boost::math::students_t(static_cast<double>(quality.dof)), 0.975);

  // Unit-norm columns (the values span ten decades); the parameters the data cannot resolve are
  // left out, until the rest is of full rank.
  VectorXd norms = j.colwise().norm();
  std::vector<bool> excluded(kParameterCount, false);
  for (;;) {
    std::vector<Index> kept;
    for (Index k = 0; k < q; ++k) {
      if (!excluded[static_cast<std::size_t>(k)]) kept.push_back(k);
    }
    if (kept.empty()) return quality;
    MatrixXd js(2 * n, static_cast<Index>(kept.size()));
    for (std::size_t c = 0; c < kept.size(); ++c) {
      js.col(static_cast<Index>(c)) = norms(kept[c]) > 0 ? VectorXd(j.col(kept[c]) / norms(kept[c])) : VectorXd(j.col(kept[c]));
    }
    const std::vector<bool> unresolved = Unresolved(js);
    if (std::none_of(unresolved.begin(), unresolved.end(), [](bool b) { return b; })) {
      // (JsᵀJs)⁻¹ = V·S⁻²·Vᵀ from the SVD of Js; then undo the scaling.
      Eigen::JacobiSVD<MatrixXd> svd(js, Eigen::ComputeThinV);
      const VectorXd inverseSquares = svd.singularValues().array().square().inverse();
      const MatrixXd scaled = svd.matrixV() * inverseSquares.asDiagonal() * svd.matrixV().transpose();
      MatrixXd covariance = MatrixXd::Constant(q, q, std::numeric_limits<double>::quiet_NaN());
      for (std::size_t a = 0; a < kept.size(); ++a) {
        for (std::size_t b = 0; b < kept.size(); ++b) {
          covariance(kept[a], kept[b]) =
              quality.s2 * scaled(static_cast<Index>(a), static_cast<Index>(b)) / (norms(kept[a]) * norms(kept[b]));
        }
      }
      const auto cov = [&](std::size_t a, std::size_t b) { return covariance(static_cast<Index>(a), static_cast<Index>(b)); };
      for (std::size_t a = 0; a < kParameterCount; ++a) {
        if (excluded[a]) continue;
        SetEstimate(quality.estimates[a], theta[a], cov(a, a), quality.tQuantile);
        for (std::size_t b = 0; b < kParameterCount; ++b) {
          if (!excluded[b]) quality.correlation[a][b] = cov(a, b) / std::sqrt(cov(a, a) * cov(b, b));
        }
      }
      // The delta method: C and f through their logarithms in (ln R, ln T, P).
      // Rp: the sum of the R block.
      double rpVariance = 0;
      bool rpKnown = true;
      for (const Stage& a : kStages) {
        for (const Stage& b : kStages) rpVariance += cov(a.r, b.r);
        rpKnown = rpKnown && !excluded[a.r];
      }
      for (std::size_t i = 0; i < 3; ++i) {
        const Stage& stage = kStages[i];
        const std::size_t index[3] = {stage.r, stage.t, stage.p};
        if (excluded[stage.r] || excluded[stage.t] || excluded[stage.p]) continue;
        const double r = circuit.r[i], t = circuit.t[i], p = circuit.p[i];
        const double lnRT = std::log(r) + std::log(t);
        // Gradients of ln C and ln f with respect to (R, T, P).
        const double gc[3] = {(1.0 - p) / p / r, 1.0 / p / t, -lnRT / (p * p)};
        const double gf[3] = {-1.0 / p / r, -1.0 / p / t, lnRT / (p * p)};
        double vc = 0, vf = 0;
        for (std::size_t a = 0; a < 3; ++a) {
          for (std::size_t b = 0; b < 3; ++b) {
            vc += gc[a] * gc[b] * cov(index[a], index[b]);
            vf += gf[a] * gf[b] * cov(index[a], index[b]);
          }
        }
        QualityEstimate& c = quality.estimates[stage.c];
        QualityEstimate& f = quality.estimates[stage.f];
        SetEstimate(c, c.value, c.value * c.value * vc, quality.tQuantile);
        SetEstimate(f, f.value, f.value * f.value * vf, quality.tQuantile);
      }
      if (rpKnown) SetEstimate(quality.estimates[kQuantityRp], rp, rpVariance, quality.tQuantile);
      return quality;
    }
    for (std::size_t c = 0; c < kept.size(); ++c) {
      if (unresolved[c]) excluded[static_cast<std::size_t>(kept[c])] = true;
    }
  }
}

std::string KramersKronigText(const KramersKronigCheck& kk) {
  return Format("KK 残差最大 %.2g %%（%.3g Hz），估计噪声 %.2g %%（M = %u，μ = %.2f）", kk.maxResidualPercent,
                kk.maxResidualFrequency, kk.noisePercent, static_cast<unsigned>(kk.m), kk.mu);
}

QualityTexts QualityColumnTexts(const std::string& dataFile, const FitQuality& quality) {
  QualityTexts texts;
  texts[kQualityDataFile] = dataFile;
  texts[kQualityDataPoints] = std::to_string(quality.points);
  if (quality.chiSquare) texts[kQualityChiSquare] = NumberText17(*quality.chiSquare);
  if (quality.kk) {
    texts[kQualityKkM] = std::to_string(quality.kk->m);
    texts[kQualityKkMu] = NumberText17(quality.kk->mu);
    texts[kQualityKkNoise] = NumberText17(quality.kk->noisePercent);
  }
  for (std::size_t j = 0; j < kParameterCount; ++j) {
    if (quality.estimates[j].se) texts[kQualityFirstSe + j] = NumberText17(*quality.estimates[j].se);
  }
  return texts;
}
