// The workbook file: how cell texts are typed, and the report sheet read back by openpyxl.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "report/report.h"
#include "spreadsheet/workbook_file.h"
#include "tests/report/report_test_util.h"

namespace {

TEST(CellNumber, DecimalNumbersBecomeNumbers) {
  EXPECT_EQ(CellNumber("1.e-005"), 1e-5);
  EXPECT_EQ(CellNumber("159.154946"), 159.154946);
  EXPECT_EQ(CellNumber("100."), 100.0);
  EXPECT_EQ(CellNumber("0."), 0.0);
  EXPECT_EQ(CellNumber("-5.e-002"), -0.05);
  EXPECT_EQ(CellNumber("9.87654321e+009"), 9876543210.0);
  EXPECT_EQ(CellNumber("1.5E-3"), 1.5e-3);
  EXPECT_EQ(CellNumber("+2"), 2.0);
  EXPECT_EQ(CellNumber(".5"), 0.5);
  EXPECT_EQ(CellNumber("  1.0 \t"), 1.0);
  EXPECT_EQ(CellNumber("1e5"), 100000.0);
  EXPECT_TRUE(std::signbit(*CellNumber("-0")));
}

TEST(CellNumber, EverythingElseStaysText) {
  for (const char* text : {"", "   ", "12.5 ohm", "1D-5", "1d3", "2,5", "1,000", "inf", "-inf", "nan", "NaN",
                           "0x10", "0x1p3", "1e", "1e+", ".", "-", "+", "e5", "1.2.3", "--1", "1e999",
                           "-1e999", "1 2", "abc", "１２"}) {
    EXPECT_FALSE(CellNumber(text).has_value()) << '"' << text << '"';
  }
}

TEST(CellNumber, IgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
  EXPECT_EQ(CellNumber("1.5"), 1.5);
  EXPECT_FALSE(CellNumber("1,5").has_value());
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// The parameter sheet alone, written to path: the reason of a failure, or nothing.
std::string WriteReportWorkbook(const ReportTexts& texts, const std::string& path) {
  try {
    WriteWorkbookFile(ReportWorkbook{{BuildParameterSheet(kReportSheets[0], texts)}, {}}, path);
  } catch (const WorkbookWriteError& e) {
    return e.what();
  }
  return {};
}

std::string Address(std::size_t column, int row) {
  return std::string(1, static_cast<char>('A' + column)) + std::to_string(row);
}

TEST(ReportWorkbook, ReadBackByAnIndependentReader) {
  const ParameterSet parameters = {"1.2E-7", "4.75 Ohm", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4",
                                   "0.62"};
  const ReportTexts texts = ComputeReportTexts(parameters);
  qtest::TempDir dir;
  const std::filesystem::path file = dir.Path() / "report.xlsx";
  ASSERT_EQ(WriteReportWorkbook(texts, file.string()), "");

  const rtest::XlsxBook book = rtest::ReadXlsx(file);
  ASSERT_EQ(book.sheetNames, std::vector<std::string>{"Sheet1"});

  // Row 1: the names, all text.
  const char* names[] = {"L0", "R0", "R1", "CPE1-T", "CPE1-P", "C1", "f1", "R2", "CPE2-T",
                         "CPE2-P", "C2", "f2", "R3", "CPE3-T", "CPE3-P", "C3", "f3", "Rp"};
  for (std::size_t c = 0; c < kReportColumns; ++c) {
    const auto it = book.cells.find(Address(c, 1));
    ASSERT_NE(it, book.cells.end()) << Address(c, 1);
    EXPECT_EQ(it->second.type, 's') << Address(c, 1);
    EXPECT_EQ(it->second.text, names[c]) << Address(c, 1);
  }

  // Row 2: numbers where the text is a number, the rest text, empty cells absent.
  struct Expected {
    const char* address;
    char type;
    double number;
    const char* text;
  };
  const Expected row2[] = {
      {"A2", 'n', 1.2e-7, ""},     {"B2", 's', 0, "4.75 Ohm"},    {"C2", 'n', 100, ""},
      {"D2", 'n', 1e-5, ""},       {"E2", 'n', 1, ""},            {"F2", 'n', 1e-5, ""},
      {"G2", 'n', 159.154946, ""}, {"I2", 'n', 0.5, ""},          {"J2", 'n', 0.9, ""},
      {"M2", 'n', 3210.5, ""},     {"N2", 'n', 4.56e-4, ""},      {"O2", 'n', 0.62, ""},
      {"P2", 'n', 5.76001111e-4, ""}, {"Q2", 'n', 8.60645186e-2, ""}, {"R2", 'n', 3310.5, ""},
  };
  for (const Expected& e : row2) {
    const auto it = book.cells.find(e.address);
    ASSERT_NE(it, book.cells.end()) << e.address;
    EXPECT_EQ(it->second.type, e.type) << e.address;
    if (e.type == 'n') {
      EXPECT_EQ(it->second.number, e.number) << e.address;
    } else {
      EXPECT_EQ(it->second.text, e.text) << e.address;
    }
  }
  // R2 empty and branch 2 without C and f: H2, K2, L2 hold nothing.
  for (const char* empty : {"H2", "K2", "L2"}) EXPECT_EQ(book.cells.count(empty), 0u) << empty;
  EXPECT_EQ(book.cells.size(), 36u - 3u);
}

TEST(ReportWorkbook, StoredTextsThatLookLikeFormulasStayTextAndSignedNumbersStayNumbers) {
  const ParameterSet parameters = {"=HYPERLINK(\"http://x\",\"y\")", "-5", "@SUM(A1)", "+1e3", "-A1", "", "", "", "", "",
                                   ""};
  qtest::TempDir dir;
  const std::filesystem::path file = dir.Path() / "report.xlsx";
  ASSERT_EQ(WriteReportWorkbook(ComputeReportTexts(parameters), file.string()), "");
  const rtest::XlsxBook book = rtest::ReadXlsx(file);
  const struct {
    const char* address;
    char type;
    const char* text;
  } expected[] = {{"A2", 's', "=HYPERLINK(\"http://x\",\"y\")"}, {"B2", 'n', ""}, {"C2", 's', "@SUM(A1)"},
                  {"D2", 'n', ""}, {"E2", 's', "-A1"}};
  for (const auto& e : expected) {
    const auto it = book.cells.find(e.address);
    ASSERT_NE(it, book.cells.end()) << e.address;
    EXPECT_EQ(it->second.type, e.type) << e.address;
    if (e.type == 's') {
      EXPECT_EQ(it->second.text, e.text) << e.address;
    }
  }
  EXPECT_EQ(book.cells.at("B2").number, -5);
  EXPECT_EQ(book.cells.at("D2").number, 1000);
}

TEST(ReportWorkbook, NumbersSurviveADecimalCommaLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
  const ReportTexts texts = ComputeReportTexts({"", "", "1500", "2.3e-5", "0.87", "", "", "", "", "", ""});
  qtest::TempDir dir;
  const std::filesystem::path file = dir.Path() / "de.xlsx";
  const std::string reason = WriteReportWorkbook(texts, file.string());
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_EQ(reason, "");
  const rtest::XlsxBook book = rtest::ReadXlsx(file);
  ASSERT_EQ(book.cells.count("F2"), 1u);
  EXPECT_EQ(book.cells.at("F2").type, 'n');
  EXPECT_EQ(book.cells.at("F2").number, 1.39072427e-5);
  ASSERT_EQ(book.cells.count("E2"), 1u);
  EXPECT_EQ(book.cells.at("E2").number, 0.87);
}

TEST(ReportWorkbook, TextsXmlCannotHoldAreReplacedVisibly) {
  ParameterSet parameters{};
  parameters[kL0] = "电感\t1";              // Chinese text and a tab survive unchanged
  parameters[kR0] = std::string("\xB5\xE7\xD7\xE8");  // GBK bytes: not UTF-8
  parameters[kR1] = "a\x01" "b\x1F";        // control characters
  parameters[kCpe1T] = "x\xEF\xBF\xBEy\xEF\xBF\xBF";  // U+FFFE, U+FFFF
  const ReportTexts texts = ComputeReportTexts(parameters);
  qtest::TempDir dir;
  const std::filesystem::path file = dir.Path() / "odd.xlsx";
  ASSERT_EQ(WriteReportWorkbook(texts, file.string()), "");
  const rtest::XlsxBook book = rtest::ReadXlsx(file);
  ASSERT_EQ(book.cells.count("A2"), 1u);
  EXPECT_EQ(book.cells.at("A2").text, "电感\t1");
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const std::pair<const char*, std::string> replaced[] = {{"B2", r + r + r + r}, {"C2", "a" + r + "b" + r}, {"D2", "x" + r + "y" + r}};
  for (const auto& [address, text] : replaced) {
    ASSERT_EQ(book.cells.count(address), 1u) << address;
    EXPECT_EQ(book.cells.at(address).text, text) << address;
  }
}

TEST(ReportWorkbook, FailureIsReportedNotHidden) {
  const ReportTexts texts = ComputeReportTexts(ParameterSet{});
  qtest::TempDir dir;
  const std::filesystem::path file = dir.Path() / "missing-directory" / "report.xlsx";
  EXPECT_NE(WriteReportWorkbook(texts, file.string()), "");
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
