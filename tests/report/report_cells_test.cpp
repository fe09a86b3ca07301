// The report sheet's cells: the derived quantities of each branch, Rp, and the layout of both rows.
#include <gtest/gtest.h>

#include <string>

#include "report/report.h"

namespace {

// Column letters → index (A = 0).
constexpr std::size_t Col(char letter) { return static_cast<std::size_t>(letter - 'A'); }

ParameterSet Parameters(const std::array<std::string, kParameterCount>& texts) { return texts; }

// A set with the branches as given (L0 and R0 fixed).
ParameterSet WithBranches(std::string r1, std::string t1, std::string p1, std::string r2, std::string t2,
                          std::string p2, std::string r3, std::string t3, std::string p3) {
  return Parameters({"1e-7", "5", r1, t1, p1, r2, t2, p2, r3, t3, p3});
}

TEST(ReportCells, CapacitanceFrequencyAndRpFromTwoFullBranches) {
  const ReportCells cells = BuildReportCells(WithBranches("100", "1e-5", "1", "1500", "2.3e-5", "0.87", "", "", ""));
  EXPECT_EQ(cells.values[Col('F')], "1.e-005");
  EXPECT_EQ(cells.values[Col('G')], "159.154946");
  EXPECT_EQ(cells.values[Col('K')], "1.39072427e-005");
  EXPECT_EQ(cells.values[Col('L')], "7.62935539");
  EXPECT_EQ(cells.values[Col('R')], "1600.");
}

TEST(ReportCells, EmptyResistanceLeavesTheBranchEmptyAndCountsZero) {
  const ReportCells cells = BuildReportCells(WithBranches("100", "1e-5", "1", "", "0.5", "0.9", "40", "0", "1"));
  EXPECT_EQ(cells.values[Col('H')], "");
  EXPECT_EQ(cells.values[Col('I')], "0.5");
  EXPECT_EQ(cells.values[Col('J')], "0.9");
  EXPECT_EQ(cells.values[Col('K')], "");
  EXPECT_EQ(cells.values[Col('L')], "");
  // Branch 3 has T = 0: x = 0, no C and f either, but its R counts.
  EXPECT_EQ(cells.values[Col('P')], "");
  EXPECT_EQ(cells.values[Col('Q')], "");
  EXPECT_EQ(cells.values[Col('R')], "140.");
  // Branch 1 is unaffected by the others.
  EXPECT_EQ(cells.values[Col('F')], "1.e-005");
}

TEST(ReportCells, AllResistancesEmptyGiveRpZero) {
  const ReportCells cells = BuildReportCells(Parameters({"", "", "", "1e-5", "1", "", "2e-5", "0.9", "", "", ""}));
  EXPECT_EQ(cells.values[Col('R')], "0.");
  for (char c : {'F', 'G', 'K', 'L', 'P', 'Q'}) EXPECT_EQ(cells.values[Col(c)], "") << c;
}

TEST(ReportCells, TextWithAUnitIsShownAsStoredAndCountedAsItsNumber) {
  const ReportCells cells =
      BuildReportCells(WithBranches("12.5 ohm", "1e-5", "1", "1500", "2.3e-5", "0.87", "", "", ""));
  EXPECT_EQ(cells.values[Col('C')], "12.5 ohm");
  EXPECT_EQ(cells.values[Col('R')], "1512.5");
  // C = (12.5 × 1e-5)^1 / 12.5 = 1e-5 and f = 1 / (2π' × 1.25e-4).
  EXPECT_EQ(cells.values[Col('F')], "1.e-005");
  EXPECT_EQ(cells.values[Col('G')], "1273.23957");
}

TEST(ReportCells, GuardIsStrictAtTenToTheMinusTwenty) {
  // 0.5 × 2e-20 is exactly the double 1e-20: no C and f.
  ReportCells cells = BuildReportCells(WithBranches("0.5", "2e-20", "1", "-0.5", "2e-20", "1", "1", "1e-21", "1"));
  for (char c : {'F', 'G', 'K', 'L', 'P', 'Q'}) EXPECT_EQ(cells.values[Col(c)], "") << c;
  EXPECT_EQ(cells.values[Col('R')], "1.");

  // Just above the limit the branch is computed.
  cells = BuildReportCells(WithBranches("1", "1.0000000000000001e-20", "1", "", "", "", "", "", ""));
  EXPECT_EQ(cells.values[Col('F')], "1.e-020");
  EXPECT_EQ(cells.values[Col('G')], "1.59154946e+019");
}

TEST(ReportCells, NegativeResistanceWithIntegralExponent) {
  const ReportCells cells = BuildReportCells(WithBranches("-100", "1e-5", "1", "", "", "", "", "", ""));
  EXPECT_EQ(cells.values[Col('F')], "1.e-005");
  EXPECT_EQ(cells.values[Col('G')], "-159.154946");
  EXPECT_EQ(cells.values[Col('R')], "-100.");
}

TEST(ReportCells, ValuesThatAreNotFiniteLeaveTheirCellsEmpty) {
  // Negative product with a non-integral exponent: no real power, both texts empty.
  ReportCells cells = BuildReportCells(WithBranches("-100", "1e-5", "0.87", "", "", "", "", "", ""));
  EXPECT_EQ(cells.values[Col('F')], "");
  EXPECT_EQ(cells.values[Col('G')], "");
  EXPECT_EQ(cells.values[Col('R')], "-100.");

  // P = 0: the exponents are ±infinity. With x < 1, C = 0 / R = 0 and f = +infinity; with x > 1 the
  // other way round. Only the infinite value loses its text.
  cells = BuildReportCells(WithBranches("100", "1e-5", "0", "1000", "0.01", "0", "", "", ""));
  EXPECT_EQ(cells.values[Col('F')], "0.");
  EXPECT_EQ(cells.values[Col('G')], "");
  EXPECT_EQ(cells.values[Col('K')], "");
  EXPECT_EQ(cells.values[Col('L')], "0.");

  // Overflowing texts: an infinite T gives an infinite C; 0 × infinity is not a number and fails the
  // guard; an infinite R makes Rp infinite, which has no text either.
  cells = BuildReportCells(WithBranches("100", "1e999", "1", "0", "1e999", "1", "1e999", "1", "1"));
  EXPECT_EQ(cells.values[Col('D')], "1e999");
  EXPECT_EQ(cells.values[Col('F')], "");
  EXPECT_EQ(cells.values[Col('G')], "0.");
  EXPECT_EQ(cells.values[Col('K')], "");
  EXPECT_EQ(cells.values[Col('L')], "");
  EXPECT_EQ(cells.values[Col('R')], "");
}

TEST(ReportCells, SeriesElementsTakeNoPartInDerivedValues) {
  const ParameterSet a = WithBranches("100", "1e-5", "1", "1500", "2.3e-5", "0.87", "3210.5", "4.56e-4", "0.62");
  ParameterSet b = a;
  b[kL0] = "999";
  b[kR0] = "-12 Ohm";
  const ReportCells ca = BuildReportCells(a);
  const ReportCells cb = BuildReportCells(b);
  EXPECT_EQ(cb.values[Col('A')], "999");
  EXPECT_EQ(cb.values[Col('B')], "-12 Ohm");
  for (std::size_t column = Col('C'); column < kReportColumns; ++column) {
    EXPECT_EQ(ca.values[column], cb.values[column]) << "column " << column;
  }
}

TEST(ReportCells, LayoutRowByRow) {
  const ReportCells cells = BuildReportCells(
      Parameters({"1.2E-7", "4.75", "100", "1e-5", "1", "1500", "2.3e-5", "0.87", "3210.5", "4.56E-4", "0.62"}));
  const std::array<std::string, kReportColumns> row1 = {
      "L0", "R0", "R1", "CPE1-T", "CPE1-P", "C1", "f1", "R2", "CPE2-T",
      "CPE2-P", "C2", "f2", "R3", "CPE3-T", "CPE3-P", "C3", "f3", "Rp",
  };
  const std::array<std::string, kReportColumns> row2 = {
      "1.2E-7", "4.75", "100", "1e-5", "1", "1.e-005", "159.154946", "1500", "2.3e-5",
      "0.87", "1.39072427e-005", "7.62935539", "3210.5", "4.56E-4", "0.62", "5.76001111e-004", "8.60645186e-002",
      "4810.5",
  };
  for (std::size_t column = 0; column < kReportColumns; ++column) {
    EXPECT_EQ(cells.names[column], row1[column]) << "row 1, column " << static_cast<char>('A' + column);
    EXPECT_EQ(cells.values[column], row2[column]) << "row 2, column " << static_cast<char>('A' + column);
  }
}

TEST(ReportCells, ParameterTextsAreNeverReformatted) {
  const ParameterSet texts = {" 1.0 ", "+2", "1.50E+02", "1D-5", "1.000", "abc", "0,5", "  ", "0012", "1e", "-0"};
  const ReportCells cells = BuildReportCells(texts);
  const std::size_t where[kParameterCount] = {Col('A'), Col('B'), Col('C'), Col('D'), Col('E'), Col('H'),
                                              Col('I'), Col('J'), Col('M'), Col('N'), Col('O')};
  for (std::size_t i = 0; i < kParameterCount; ++i) EXPECT_EQ(cells.values[where[i]], texts[i]) << i;
  // R1 = 150, T = 1e-5 (d exponent), P = 1: C = 1e-5; R3 = 12 with T = 1 ("1e"), P = -0.
  EXPECT_EQ(cells.values[Col('F')], "1.e-005");
  EXPECT_EQ(cells.values[Col('R')], "162.");
}

TEST(ReportCells, ColumnLettersGoOnPastZ) {
  EXPECT_EQ(ReportColumnLetters(0), "A");
  EXPECT_EQ(ReportColumnLetters(17), "R");
  EXPECT_EQ(ReportColumnLetters(25), "Z");
  EXPECT_EQ(ReportColumnLetters(26), "AA");
  EXPECT_EQ(ReportColumnLetters(27), "AB");
  EXPECT_EQ(ReportColumnLetters(701), "ZZ");
  EXPECT_EQ(ReportColumnLetters(702), "AAA");
}

}  // namespace
