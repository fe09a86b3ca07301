// The fit's quality on spectra made from known parameters with known noise: standard errors that
// shrink as 1/√N, Student's t, the KK check's noise estimate and a band whose Z″ was distorted, and
// a spectrum too narrow to say anything of L0.
#include <gtest/gtest.h>

#include "tests/report/quality_synthetic.h"

namespace {

TEST(FitQuality, StandardErrorsShrinkAsOneOverRootN) {
  const ParameterSet parameters = KnownParameters();
  const FitQuality few = ComputeFitQuality(SyntheticSpectrum(60, 0.01, 1e5, 0.005, 1), parameters);
  const FitQuality many = ComputeFitQuality(SyntheticSpectrum(240, 0.01, 1e5, 0.005, 2), parameters);
  EXPECT_EQ(few.dof, 2 * 60 - 11);
  // t(0.975, 109) from the tables.
  EXPECT_NEAR(few.tQuantile, 1.98197, 1e-5);
  // s² is the noise's variance as a fraction of |Z|.
  EXPECT_NEAR(std::sqrt(many.s2), 0.005, 0.0008);
  for (std::size_t j = 0; j < kReportQuantityCount; ++j) {
    SCOPED_TRACE(kQuantities[j].name);
    ASSERT_TRUE(few.estimates[j].Determined());
    ASSERT_TRUE(many.estimates[j].Determined());
    // Four times the points: half the error.
    EXPECT_NEAR(*few.estimates[j].se / *many.estimates[j].se, 2.0, 0.5);
    const QualityEstimate& e = many.estimates[j];
    EXPECT_NEAR(e.high - e.value, many.tQuantile * *e.se, 1e-12 * std::fabs(e.value) + 1e-300);
    EXPECT_NEAR(e.value - e.low, e.high - e.value, 1e-9 * std::fabs(e.value));
  }
  // The values inside their intervals; C1 from its formula.
  const QualityEstimate& c1 = many.estimates[kQuantityC1];
  EXPECT_NEAR(c1.value, std::pow(20 * 1e-6, 1 / 0.95) / 20, 1e-15);
  EXPECT_LT(*c1.se, 0.1 * c1.value);
  for (std::size_t a = 0; a < kParameterCount; ++a) {
    ASSERT_TRUE(many.correlation[a][a]);
    EXPECT_NEAR(*many.correlation[a][a], 1.0, 1e-9);
  }
}

TEST(FitQuality, KramersKronigSeesNoiseAndADistortedBand) {
  // From 0.1 Hz: the linear KK test's μ rule stops far too early on spectra that end inside the
  // lowest arc (from 10 mHz it takes M = 8 and leaves 10 % residuals on these very values).
  const FitQuality clean = ComputeFitQuality(SyntheticSpectrum(100, 0.1, 1e5, 0.003), KnownParameters());
  ASSERT_TRUE(clean.kk);
  EXPECT_NEAR(clean.kk->noisePercent, 0.3, 0.1);
  EXPECT_LE(clean.kk->mu, kKramersKronigMuLimit);
  EXPECT_GE(clean.kk->m, 2u);
  EXPECT_LT(clean.kk->maxResidualPercent, 1.5);

  // Z″ 30 % too large from 1 to 10 Hz: no causal system gives that.
  const FitQuality distorted = ComputeFitQuality(SyntheticSpectrum(100, 0.1, 1e5, 0.003, 7, 0.3, 1, 10), KnownParameters());
  ASSERT_TRUE(distorted.kk);
  EXPECT_GT(distorted.kk->maxResidualPercent, 10 * 0.3);  // the noise it was made with
  EXPECT_GT(distorted.kk->maxResidualPercent, 10 * clean.kk->noisePercent);
  EXPECT_GT(distorted.kk->noisePercent, 5 * clean.kk->noisePercent);
  EXPECT_GE(distorted.kk->maxResidualFrequency, 0.5);
  EXPECT_LE(distorted.kk->maxResidualFrequency, 20);
  EXPECT_EQ(KramersKronigText(*distorted.kk).rfind("KK 残差最大 ", 0), 0u);
}

TEST(FitQuality, NarrowSpectrumLeavesL0Undetermined) {
  const FitQuality narrow = ComputeFitQuality(SyntheticSpectrum(40, 1, 10, 0.003), KnownParameters());
  EXPECT_FALSE(narrow.estimates[kQuantityL0].Determined());
  const QualityTexts texts = QualityColumnTexts("a.mpt", narrow);
  EXPECT_EQ(texts[std::size_t{kQualityFirstSe} + kL0], "");
  EXPECT_EQ(texts[kQualityDataPoints], "40");
  // Too few points for eleven parameters: nothing determined, and no failure.
  const FitQuality tiny = ComputeFitQuality(SyntheticSpectrum(5, 1, 1e4, 0.003), KnownParameters());
  EXPECT_LE(tiny.dof, 0);
  for (const QualityEstimate& e : tiny.estimates) EXPECT_FALSE(e.Determined());
}

}  // namespace
