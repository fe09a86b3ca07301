// The summary's rows: every report value with its unit, numbers where the text is one.
#include <gtest/gtest.h>

#include <map>

#include "report/summary.h"

TEST(Summary, ValuesCarryTheirUnitsAndNumbersStayNumbers) {
  const ParameterSet set = {"1.2e-7", "12.5 ohm", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};
  std::map<std::string, SummaryRow> rows;
  for (const SummaryRow& row : BuildSummaryRows(ComputeReportTexts(set))) rows[row.name] = row;
  ASSERT_EQ(rows.size(), kReportColumns);
  const std::map<std::string, std::string> units = {{"L0", "H"},  {"R0", "Ω"},  {"CPE3-T", "S·s^P"}, {"CPE2-P", ""},
                                                    {"C1", "F"}, {"f3", "Hz"}, {"R3", "Ω"},         {"Rp", "Ω"}};
  for (const auto& [name, unit] : units) EXPECT_EQ(rows[name].unit, unit) << name;

  EXPECT_EQ(rows["L0"].number, 1.2e-7);
  EXPECT_EQ(rows["C1"].number, 1e-5);  // from the text "1.e-005"
  EXPECT_EQ(rows["Rp"].number, 3310.5);
  // A text that is not a number stays a text; an empty value has neither.
  EXPECT_EQ(rows["R0"].text, "12.5 ohm");
  EXPECT_FALSE(rows["R0"].number);
  EXPECT_EQ(rows["C2"].text, "");
  EXPECT_FALSE(rows["C2"].number);
}
