// The summary's rows: every report value with its unit, numbers where the text is one.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "report/summary.h"

namespace {

TEST(Summary, EveryValueHasItsUnitAndNumbersStayNumbers) {
  const ParameterSet set = {"1.2e-7", "12.5 ohm", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};
  std::map<std::string, SummaryRow> byName;
  for (const SummaryRow& row : BuildSummaryRows(BuildReportCells(set))) byName[row.name] = row;
  ASSERT_EQ(byName.size(), kReportColumns);

  const std::map<std::string, std::string> units = {
      {"L0", "H"},       {"R0", "Ω"},  {"R1", "Ω"},  {"CPE1-T", "S·s^P"}, {"CPE1-P", ""},   {"C1", "F"},
      {"f1", "Hz"},      {"R2", "Ω"},  {"CPE2-T", "S·s^P"}, {"CPE2-P", ""},  {"C2", "F"},   {"f2", "Hz"},
      {"R3", "Ω"},       {"CPE3-T", "S·s^P"}, {"CPE3-P", ""},  {"C3", "F"},  {"f3", "Hz"},  {"Rp", "Ω"}};
  for (const auto& [name, unit] : units) EXPECT_EQ(byName.at(name).unit, unit) << name;

  EXPECT_EQ(byName["L0"].number, 1.2e-7);
  EXPECT_EQ(byName["C1"].text, "1.e-005");
  EXPECT_EQ(byName["C1"].number, 1e-5);
  EXPECT_EQ(byName["Rp"].number, 3310.5);
  // A text that is not a number stays a text; an empty value has neither.
  EXPECT_EQ(byName["R0"].text, "12.5 ohm");
  EXPECT_FALSE(byName["R0"].number);
  EXPECT_FALSE(byName["C2"].number);
  EXPECT_EQ(byName["C2"].text, "");
}

}  // namespace
