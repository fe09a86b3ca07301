// The report's summary and spectrum sheets: written by qelmora-cli report --xlsx on a real store and
// read back with openpyxl and the package's own chart parts; the spectrum in the sheet against
// qelmora-cli spectrum. Besides, the names the report files get.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "report/report_sheets.h"
#include "tests/report/report_test_util.h"

namespace {

// Every cell of the sheets after the first, the page setup of each and the chart parts of the package.
constexpr const char* kDumpScript = R"PY(
import re, sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print("sheets\t" + "\t".join(wb.sheetnames))
for ws in wb.worksheets[1:]:
    # fitToWidth and fitToHeight are 1 where the file leaves them out.
    ps = ws.page_setup
    print("page\t%s\t%s\t%s\t%s\t%s" % (ws.title, ps.orientation, 1 if ps.fitToWidth is None else ps.fitToWidth,
                                        1 if ps.fitToHeight is None else ps.fitToHeight,
                                        ws.sheet_properties.pageSetUpPr.fitToPage))
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            kind = "n" if isinstance(c.value, (int, float)) else "s"
            print("cell\t%s!%s\t%s\t%s\t%s" % (ws.title, c.coordinate, kind, c.number_format, repr(c.value) if kind == "n" else c.value))
z = zipfile.ZipFile(sys.argv[1])
for name in sorted(n for n in z.namelist() if re.match(r"xl/charts/chart\d+\.xml$", n)):
    xml = z.read(name).decode()
    print("chart\t%s\t%d\t%s\t%s\t%s" % (name, xml.count("<c:scatterChart>"), xml.count("<c:logBase val=\"10\"/>"),
          ",".join(re.findall(r"<c:min val=\"([^\"]*)\"/>", xml)), ",".join(re.findall(r"<c:max val=\"([^\"]*)\"/>", xml))))
)PY";

struct Cell {
  char type;
  std::string format;
  std::string text;
  double number() const { return std::stod(text); }
};

struct Dump {
  std::vector<std::string> sheets;
  std::map<std::string, std::vector<std::string>> pages;  // by sheet: orientation, fitToWidth, fitToHeight, fitToPage
  std::map<std::string, Cell> cells;                      // by "sheet!A1"
  std::vector<std::vector<std::string>> charts;           // scatter charts, log axes, minima, maxima
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

Dump ReadBack(const std::filesystem::path& file) {
  Dump dump;
  const rtest::CommandResult run =
      rtest::RunCommand("/usr/bin/python3 -c " + rtest::ShellQuote(kDumpScript) + " " + rtest::ShellQuote(file.string()) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.output;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f = Split(line);
    if (f[0] == "sheets") dump.sheets.assign(f.begin() + 1, f.end());
    if (f[0] == "page" && f.size() == 6) dump.pages[f[1]] = {f[2], f[3], f[4], f[5]};
    if (f[0] == "cell" && f.size() == 5) dump.cells[f[1]] = {f[2][0], f[3], f[4]};
    if (f[0] == "chart") dump.charts.emplace_back(f.begin() + 2, f.end());
  }
  return dump;
}

// The summary's rows by parameter name: the value cell and the unit cell.
std::map<std::string, std::pair<const Cell*, const Cell*>> SummaryValues(const Dump& dump) {
  std::map<std::string, std::pair<const Cell*, const Cell*>> values;
  for (int row = 1; row < 60; ++row) {
    const auto name = dump.cells.find("报告!A" + std::to_string(row));
    if (name == dump.cells.end()) continue;
    const auto at = [&](char column) -> const Cell* {
      const auto it = dump.cells.find(std::string("报告!") + column + std::to_string(row));
      return it == dump.cells.end() ? nullptr : &it->second;
    };
    values[name->second.text] = {at('B'), at('C')};
  }
  return values;
}

class ReportSheetsTest : public ::testing::Test {
 protected:
  // Appends a row with its provenance, as the import stores it.
  void AppendWithProvenance(const ParameterSet& row, const std::string& importedAt, const std::string& source) {
    rtest::ScratchStore::Append(row, {importedAt, source});
  }

  rtest::CommandResult Cli(const std::string& arguments) const {
    return rtest::RunCommand("env HOME=" + rtest::ShellQuote(store.dir.Dir()) + " " + rtest::ShellQuote(QELMORA_CLI) +
                             " --store " + rtest::ShellQuote(store.dir.Dir()) + " " + arguments + " 2>/dev/null");
  }

  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
};

const ParameterSet kRow = {"1.2E-7", "4.75 Ohm", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};

TEST_F(ReportSheetsTest, SummaryShowsTheReportedRowWithUnitsAndItsProvenance) {
  AppendWithProvenance(kRow, "2026-11-02T08:15:00Z", "/data/cell 7/run3.mdl");
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);

  const Dump dump = ReadBack(file);
  EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Sheet1", "报告", "阻抗谱"}));
  EXPECT_EQ(dump.cells.at("报告!A1").text, "qelmora 参数报告");
  EXPECT_EQ(dump.cells.at("报告!B4").text, "/data/cell 7/run3.mdl");
  EXPECT_EQ(dump.cells.at("报告!B5").text, "2026-11-02T08:15:00Z");
  EXPECT_EQ(dump.cells.at("报告!B6").text, store.dir.Dir() + "dravo.mdb");
  EXPECT_EQ(dump.cells.at("报告!B3").text.size(), std::string("2026-11-02 08:15:00").size());

  const auto values = SummaryValues(dump);
  ASSERT_EQ(values.count("C1"), 1u);
  // Numbers are numbers; a very small one in scientific form.
  EXPECT_EQ(values.at("C1").first->type, 'n');
  EXPECT_EQ(values.at("C1").first->number(), 1e-5);
  EXPECT_EQ(values.at("C1").first->format, "0.00000000E+00");
  EXPECT_EQ(values.at("C1").second->text, "F");
  EXPECT_EQ(values.at("f1").first->number(), 159.154946);
  EXPECT_EQ(values.at("f1").second->text, "Hz");
  EXPECT_EQ(values.at("Rp").first->number(), 3310.5);
  EXPECT_EQ(values.at("Rp").second->text, "Ω");
  EXPECT_EQ(values.at("CPE3-T").second->text, "S·s^P");
  EXPECT_EQ(values.at("L0").second->text, "H");
  EXPECT_EQ(values.at("CPE3-P").second, nullptr);  // an exponent has no unit
  // A stored text that is no number stays the text; a value the guard left out stays empty.
  EXPECT_EQ(values.at("R0").first->type, 's');
  EXPECT_EQ(values.at("R0").first->text, "4.75 Ohm");
  EXPECT_EQ(values.at("C2").first, nullptr);

  for (const char* sheet : {"报告", "阻抗谱"}) {
    EXPECT_EQ(dump.pages.at(sheet), (std::vector<std::string>{"landscape", "1", "0", "True"})) << sheet;
  }
}

TEST_F(ReportSheetsTest, ARowWithoutProvenanceShowsADash) {
  store.Append(kRow);
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);
  const Dump dump = ReadBack(file);
  EXPECT_EQ(dump.cells.at("报告!B4").text, "—");
  EXPECT_EQ(dump.cells.at("报告!B5").text, "—");
}

TEST_F(ReportSheetsTest, SpectrumSheetHoldsTheCliSpectrumAndItsCharts) {
  // Stage 2 without R (no contribution); stage 1 an ideal R‖C.
  store.Append(kRow);
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);
  const rtest::CommandResult csv = Cli("spectrum");
  ASSERT_EQ(csv.status, 0);
  const Dump dump = ReadBack(file);

  const char* const headers[] = {"f (Hz)", "Z′ (Ω)", "Z″ (Ω)", "|Z| (Ω)", "phase (°)", "−Z″ (Ω)"};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(dump.cells.at(std::string("阻抗谱!") + static_cast<char>('A' + c) + "1").text, headers[c]);
  }
  std::istringstream lines(csv.output);
  std::string line;
  std::getline(lines, line);  // the header
  int row = 2;
  for (; std::getline(lines, line); ++row) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 5u) << line;
    for (int c = 0; c < 5; ++c) {
      const std::string at = std::string("阻抗谱!") + static_cast<char>('A' + c) + std::to_string(row);
      ASSERT_EQ(dump.cells.count(at), 1u) << at;
      const double expected = std::stod(fields[c]);
      // The library writes 16 significant digits.
      EXPECT_NEAR(dump.cells.at(at).number(), expected, std::fabs(expected) * 1e-15) << at;
    }
    const std::string negated = "阻抗谱!F" + std::to_string(row);
    EXPECT_NEAR(dump.cells.at(negated).number(), -std::stod(fields[2]), std::fabs(std::stod(fields[2])) * 1e-15);
  }
  EXPECT_EQ(row, 2 + 71);
  EXPECT_EQ(dump.cells.at("阻抗谱!E2").format, "0.00");

  // Nyquist: both axes over the same range; Bode: |Z| against f, both logarithmic, and the phase
  // against the logarithmic f (a chart of its own below: this library draws no secondary axis).
  ASSERT_EQ(dump.charts.size(), 3u);
  for (const auto& chart : dump.charts) EXPECT_EQ(chart[0], "1");
  EXPECT_EQ(dump.charts[0][1], "0");
  EXPECT_EQ(dump.charts[0][2], "0,0");
  const std::string maxima = dump.charts[0][3];
  ASSERT_NE(maxima.find(','), std::string::npos) << maxima;
  EXPECT_EQ(maxima.substr(0, maxima.find(',')), maxima.substr(maxima.find(',') + 1));
  EXPECT_GE(std::stod(maxima.substr(0, maxima.find(','))), 3310.5);  // Z' reaches R0 + Rp at 10 mHz
  EXPECT_EQ(dump.charts[1][1], "2");
  EXPECT_EQ(dump.charts[2][1], "1");
}

TEST(ReportFileName, ModelBaseNameAndTimeWithoutDirectoryOrExtension) {
  EXPECT_EQ(ReportFileName("/data/cell 7/run3.mdl", "2026-11-02 08:15:09"), "run3-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("C:\\Daten\\probe.v2.mdl", "2026-11-02 08:15:09"), "probe.v2-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("", "2026-11-02 08:15:09"), "qelmora-report-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("a:b|c.mdl", "2026-11-02 08:15:09"), "a_b_c-20261102-081509.xlsx");
}

}  // namespace
