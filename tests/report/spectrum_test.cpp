// The modelled impedance spectrum: against Python's complex arithmetic and by hand, and qelmora-cli
// spectrum read back from a real store, values that are not finite included.
#include <gtest/gtest.h>

#include <charconv>
#include <sstream>

#include "circuit/spectrum.h"
#ifndef _WIN32
#include "tests/report/report_test_util.h"
#endif

namespace {

// The eleven texts (plain numbers or empty) → f, Re Z, Im Z, |Z|, phase per line, with Python's
// complex power (jω)**P instead of the program's cosine and sine.
const char* const kPythonSpectrum = R"PY(
import sys, cmath, math
v = [float(a) if a else 0.0 for a in sys.argv[1:12]]
for k in range(71):
    w = 2 * math.pi * 10 ** (-2 + k / 10)
    z = v[1] + 1j * w * v[0] + sum(R / (1 + R * T * (1j * w) ** P) for R, T, P in (v[2:5], v[5:8], v[8:11]))
    print(w / 2 / math.pi, z.real, z.imag, abs(z), math.degrees(cmath.phase(z)))
)PY";

// R0 = 10 Ω and one ideal R‖C stage (P = 1), R = 1 kΩ, R·C = 1 / 2π s: the corner is at 1 Hz.
const ParameterSet kIdealRC = {"", "10", "1000", "1.5915494309189535e-4", "1", "", "", "", "", "", ""};

#ifndef _WIN32  // Python as the independent reference
TEST(Spectrum, AgreesWithComplexArithmetic) {
  // A typical fitted set; an ideal R‖C beside an empty stage; P = 0, P > 1 and negative values.
  for (const ParameterSet& set : {ParameterSet{"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                                               "12.453", "0.91027", "0.10342", "356.71", "0.65318"},
                                  ParameterSet{"1e-6", "", "1000", "1.5915494309189535e-4", "1", "", "", "", "50", "2e-3", "0.5"},
                                  ParameterSet{"", "-5", "100", "1e-5", "0", "-20", "3e-4", "1.3", "7", "", "0.8"}}) {
    std::string command = "/usr/bin/python3 -c " + rtest::ShellQuote(kPythonSpectrum);
    for (const std::string& text : set) command += " " + rtest::ShellQuote(text);
    const rtest::CommandResult run = rtest::RunCommand(command + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    std::istringstream lines(run.output);
    for (const SpectrumPoint& point : ComputeSpectrum(set)) {
      double f, re, im, modulus, phase;
      ASSERT_TRUE(lines >> f >> re >> im >> modulus >> phase) << run.output;
      EXPECT_NEAR(point[kSpectrumFrequency].value(), f, 1e-14 * f);
      EXPECT_NEAR(point[kSpectrumReal].value(), re, 1e-12 * modulus) << f;
      EXPECT_NEAR(point[kSpectrumImaginary].value(), im, 1e-12 * modulus) << f;
      EXPECT_NEAR(point[kSpectrumModulus].value(), modulus, 1e-12 * modulus) << f;
      EXPECT_NEAR(point[kSpectrumPhase].value(), phase, 1e-9) << f;
    }
  }
}

#endif

TEST(Spectrum, IdealRCByHandAndTextsByTheReportsRule) {
  const Spectrum spectrum = ComputeSpectrum(kIdealRC);
  // At 1 Hz, 10 + 1000 / (1 + j) = 510 − 500j: |Z| = √510100, phase −atan(500/510).
  EXPECT_EQ(spectrum[20][kSpectrumFrequency], 1.0);
  EXPECT_NEAR(spectrum[20][kSpectrumReal].value(), 510.0, 1e-9);
  EXPECT_NEAR(spectrum[20][kSpectrumImaginary].value(), -500.0, 1e-9);
  EXPECT_NEAR(spectrum[20][kSpectrumModulus].value(), 714.2128534267638, 1e-9);
  EXPECT_NEAR(spectrum[20][kSpectrumPhase].value(), -44.43273359014207, 1e-9);

  ParameterSet withUnits = kIdealRC;
  withUnits[kR0] = " 10 ohm";
  withUnits[kR1] = "1000d0";
  EXPECT_EQ(ComputeSpectrum(withUnits), spectrum);
}

#ifndef _WIN32
TEST(SpectrumCli, CsvReadsBackToTheSameDoublesAndFailuresGoToStderr) {
  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
  const std::filesystem::path errorFile = store.dir.Path() / "stderr.txt";
  const std::string command = rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(store.dir.Dir()) +
                              " spectrum 2>" + rtest::ShellQuote(errorFile.string());
  rtest::CommandResult run = rtest::RunCommand(command);  // empty table
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(qtest::ReadFileBytes(errorFile).find(std::string("参数历史中还没有数据，请先导入模型文件")), std::string::npos);

  // ωL0 overflows from 0.32 Hz on (k = 15 … 70): Z'' is not finite there, and |Z| and the phase
  // are left empty with it.
  const ParameterSet row = {"1e308", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107", "12.453",
                            "0.91027", "0.10342", "356.71", "0.65318"};
  store.Append(row);
  run = rtest::RunCommand(command);
  ASSERT_EQ(run.status, 0) << qtest::ReadFileBytes(errorFile);
  EXPECT_EQ(qtest::ReadFileBytes(errorFile), "");
  std::istringstream lines(run.output);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "f_Hz,Zre_ohm,Zim_ohm,Zmod_ohm,phase_deg\r");
  std::size_t empty = 0;
  for (const SpectrumPoint& point : ComputeSpectrum(row)) {
    ASSERT_TRUE(std::getline(lines, line) && line.ends_with('\r'));
    std::istringstream fields(line.substr(0, line.size() - 1) + ",");
    for (const std::optional<double>& value : point) {
      std::string field;
      std::getline(fields, field, ',');
      double read = 0;
      std::from_chars(field.data(), field.data() + field.size(), read);
      EXPECT_EQ(field.empty() ? std::nullopt : std::optional<double>(read), value) << line;
      empty += field.empty();
    }
    EXPECT_EQ(fields.peek(), EOF) << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
  EXPECT_EQ(empty, 3u * 56u);
}

#endif

}  // namespace
