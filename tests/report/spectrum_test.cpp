// The modelled impedance spectrum: against Python's complex arithmetic, by hand for an ideal R‖C,
// values that are not finite, and qelmora-cli spectrum read back from a real store.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <string>

#include "report/spectrum.h"
#include "tests/report/report_test_util.h"

namespace {

// The eleven texts (plain numbers or empty) → 71 lines of f, Re Z, Im Z, |Z|, phase in degrees,
// computed with Python's complex power (jω)**P rather than the cosine and sine of the program.
const char* const kPythonSpectrum = R"PY(
import sys, cmath, math
v = [float(a) if a else 0.0 for a in sys.argv[1:12]]
for k in range(71):
    f = 10 ** (-2 + k / 10)
    w = 2 * math.pi * f
    z = v[1] + 1j * w * v[0] + sum(R / (1 + R * T * (1j * w) ** P) for R, T, P in (v[2:5], v[5:8], v[8:11]))
    print(repr(f), repr(z.real), repr(z.imag), repr(abs(z)), repr(math.degrees(cmath.phase(z))))
)PY";

void ExpectMatchesPython(const ParameterSet& set) {
  std::string command = "/usr/bin/python3 -c " + rtest::ShellQuote(kPythonSpectrum);
  for (const std::string& text : set) command += " " + rtest::ShellQuote(text);
  const rtest::CommandResult run = rtest::RunCommand(command + " 2>&1");
  ASSERT_EQ(run.status, 0) << run.output;
  std::istringstream lines(run.output);
  const Spectrum spectrum = ComputeSpectrum(set);
  for (std::size_t k = 0; k < kSpectrumPoints; ++k) {
    double f, re, im, modulus, phase;
    ASSERT_TRUE(lines >> f >> re >> im >> modulus >> phase) << "line " << k << " of " << run.output;
    const SpectrumPoint& point = spectrum[k];
    ASSERT_TRUE(point[kSpectrumReal] && point[kSpectrumImaginary] && point[kSpectrumModulus] && point[kSpectrumPhase]);
    EXPECT_NEAR(*point[kSpectrumFrequency], f, f * 1e-14) << k;
    EXPECT_NEAR(*point[kSpectrumReal], re, modulus * 1e-12) << k;
    EXPECT_NEAR(*point[kSpectrumImaginary], im, modulus * 1e-12) << k;
    EXPECT_NEAR(*point[kSpectrumModulus], modulus, modulus * 1e-12) << k;
    EXPECT_NEAR(*point[kSpectrumPhase], phase, 1e-9) << k;
  }
}

// R0 = 10 Ω and one ideal R‖C stage with R = 1 kΩ and R·C = 1 / 2π s, whose corner is at 1 Hz.
const ParameterSet kIdealRC = {"", "10", "1000", "1.5915494309189535e-4", "1", "", "", "", "", "", ""};

TEST(Spectrum, AgreesWithComplexArithmetic) {
  // A typical fitted set, then an empty stage 2 beside a P = 1 stage, then P = 0, P > 1 and
  // negative values.
  ExpectMatchesPython({"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107", "12.453",
                       "0.91027", "0.10342", "356.71", "0.65318"});
  ExpectMatchesPython({"1e-6", "10", "1000", "1.5915494309189535e-4", "1", "", "", "", "50", "2e-3", "0.5"});
  ExpectMatchesPython({"", "-5", "100", "1e-5", "0", "-20", "3e-4", "1.3", "7", "", "0.8"});
}

TEST(Spectrum, IdealRCByHand) {
  const Spectrum spectrum = ComputeSpectrum(kIdealRC);
  EXPECT_EQ(*spectrum[0][kSpectrumFrequency], 0.01);
  EXPECT_EQ(*spectrum[20][kSpectrumFrequency], 1.0);
  EXPECT_EQ(*spectrum[70][kSpectrumFrequency], 1e5);
  // At the corner, 10 + 1000 / (1 + j) = 510 − 500j: |Z| = √510100, phase −atan(500/510).
  EXPECT_NEAR(*spectrum[20][kSpectrumReal], 510.0, 1e-9);
  EXPECT_NEAR(*spectrum[20][kSpectrumImaginary], -500.0, 1e-9);
  EXPECT_NEAR(*spectrum[20][kSpectrumModulus], 714.2128534267638, 1e-9);
  EXPECT_NEAR(*spectrum[20][kSpectrumPhase], -44.43273359014207, 1e-9);
  // ωRC = 0.01 and 1e5 at the ends: 10 + 1000 (1 − jωRC) / (1 + (ωRC)²).
  EXPECT_NEAR(*spectrum[0][kSpectrumReal], 10 + 1000 / 1.0001, 1e-9);
  EXPECT_NEAR(*spectrum[0][kSpectrumImaginary], -10 / 1.0001, 1e-9);
  EXPECT_NEAR(*spectrum[70][kSpectrumReal], 10 + 1e-7, 1e-9);
  EXPECT_NEAR(*spectrum[70][kSpectrumImaginary], -1e-2, 1e-9);
}

TEST(Spectrum, TextsAreReadByTheReportsRule) {
  ParameterSet withUnits = kIdealRC;
  withUnits[kR0] = " 10 ohm";
  withUnits[kR1] = "1000d0";
  EXPECT_EQ(ComputeSpectrum(withUnits), ComputeSpectrum(kIdealRC));
}

TEST(Spectrum, ValuesThatAreNotFiniteAreLeftEmpty) {
  ParameterSet set = kIdealRC;
  set[kR0] = "1e400";  // infinite: Z' is not finite, Z'' still is
  for (const SpectrumPoint& point : ComputeSpectrum(set)) {
    EXPECT_FALSE(point[kSpectrumReal] || point[kSpectrumModulus] || point[kSpectrumPhase]);
    EXPECT_TRUE(point[kSpectrumFrequency] && point[kSpectrumImaginary]);
  }
  set = kIdealRC;
  set[kCpe1P] = "0";
  set[kCpe1T] = "-1e-3";  // 1 + R·T = 0: the stage has no finite impedance
  for (const SpectrumPoint& point : ComputeSpectrum(set)) EXPECT_FALSE(point[kSpectrumReal] && point[kSpectrumImaginary]);
}

class SpectrumCliTest : public ::testing::Test {
 protected:
  // stdout of the command; its stderr in `errors`.
  rtest::CommandResult Run(const std::string& arguments) {
    const std::filesystem::path errorFile = store.dir.Path() / "stderr.txt";
    const rtest::CommandResult run = rtest::RunCommand(rtest::ShellQuote(QELMORA_CLI) + " --store " +
                                                       rtest::ShellQuote(store.dir.Dir()) + " spectrum " + arguments +
                                                       " 2>" + rtest::ShellQuote(errorFile.string()));
    errors = qtest::ReadFileBytes(errorFile);
    return run;
  }
  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
  std::string errors;
};

TEST_F(SpectrumCliTest, CsvReadsBackToTheSameDoubles) {
  // L0 so large that ωL0 overflows from 0.32 Hz on: Z'' and with it |Z| and the phase are empty there.
  const ParameterSet row = {"1e308", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107", "12.453",
                            "0.91027", "0.10342", "356.71", "0.65318"};
  store.Append(row);
  const rtest::CommandResult run = Run("");
  ASSERT_EQ(run.status, 0) << errors;
  EXPECT_EQ(errors, "");
  std::istringstream lines(run.output);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "f_Hz,Zre_ohm,Zim_ohm,Zmod_ohm,phase_deg\r");
  const Spectrum spectrum = ComputeSpectrum(row);
  std::size_t k = 0, empty = 0;
  for (; std::getline(lines, line); ++k) {
    ASSERT_LT(k, kSpectrumPoints);
    std::istringstream fields(line.substr(0, line.size() - 1));
    std::string field;
    for (std::size_t column = 0; column < kSpectrumColumns; ++column) {
      ASSERT_TRUE(std::getline(fields, field, ',') || (column == kSpectrumColumns - 1 && field.empty())) << line;
      const std::optional<double>& expected = spectrum[k][column];
      if (!expected) {
        EXPECT_EQ(field, "") << line;
        ++empty;
        continue;
      }
      double value = 0;
      std::from_chars(field.data(), field.data() + field.size(), value);
      EXPECT_EQ(value, *expected) << line;
    }
  }
  EXPECT_EQ(k, kSpectrumPoints);
  EXPECT_EQ(empty, 3u * 56u);
}

TEST_F(SpectrumCliTest, FailuresGoToStderrAndLeaveStdoutEmpty) {
  rtest::CommandResult run = Run("");  // empty table
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(errors.find(ComErrorText(kHrNoCurrentRecord)), std::string::npos) << errors;

  run = Run("extra");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(errors.find("usage:"), std::string::npos) << errors;
}

}  // namespace
