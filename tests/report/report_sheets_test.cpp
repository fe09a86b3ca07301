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
    print("page\t%s\t%s\t%s\t%s\t%s\t%s\t%s" % (ws.title, ps.orientation, 1 if ps.fitToWidth is None else ps.fitToWidth,
                                        1 if ps.fitToHeight is None else ps.fitToHeight,
                                        ws.sheet_properties.pageSetUpPr.fitToPage, ws.print_title_rows,
                                        ",".join(str(b.id) for b in ws.row_breaks.brk)))
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            kind = "n" if isinstance(c.value, (int, float)) else "s"
            print("cell\t%s!%s\t%s\t%s\t%s" % (ws.title, c.coordinate, kind, c.number_format, repr(c.value) if kind == "n" else c.value))
z = zipfile.ZipFile(sys.argv[1])
for name in sorted(n for n in z.namelist() if re.match(r"xl/charts/chart\d+\.xml$", n)):
    xml = z.read(name).decode()
    print("chart\t%s\t%d\t%s\t%s\t%s\t%s\t%s\t%d\t%d\t%d" % (name, xml.count("<c:scatterChart>"), xml.count("<c:logBase val=\"10\"/>"),
          ",".join(re.findall(r"<c:min val=\"([^\"]*)\"/>", xml)), ",".join(re.findall(r"<c:max val=\"([^\"]*)\"/>", xml)),
          ",".join(re.findall(r"<c:majorUnit val=\"([^\"]*)\"/>", xml)), ",".join(re.findall(r"<a:t>([^<]*)</a:t>", xml)),
          xml.count("<c:ser>"), xml.count("<c:symbol val=\"none\"/>"), xml.count("<a:ln><a:noFill/>")))
# The charts' sizes in pixels, in the order they were placed, from their cell anchors (a row of h
# points is h × 4/3 pixels high, a column of width w characters w × 7 pixels wide).
ws = wb["阻抗谱"]
def column_pixels(c):
    return round(ws.column_dimensions[openpyxl.utils.get_column_letter(c + 1)].width * 7)
def at(anchor, end):
    col, col_off, row, row_off = (int(v) for v in re.findall(r"<xdr:%s><xdr:col>(\d+)</xdr:col><xdr:colOff>(\d+)</xdr:colOff><xdr:row>(\d+)</xdr:row><xdr:rowOff>(\d+)</xdr:rowOff>" % end, anchor)[0])
    return (sum(column_pixels(c) for c in range(col)) + col_off / 9525.0,
            sum((ws.row_dimensions[r + 1].height or 15) * 4 / 3 for r in range(row)) + row_off / 9525.0)
for anchor in re.findall(r"<xdr:twoCellAnchor>.*?</xdr:twoCellAnchor>", z.read("xl/drawings/drawing1.xml").decode()):
    (x0, y0), (x1, y1) = at(anchor, "from"), at(anchor, "to")
    print("size\t%g\t%g" % (x1 - x0, y1 - y0))
)PY";

struct Cell {
  char type;
  std::string format;
  std::string text;
  double number() const { return std::stod(text); }
};

struct Dump {
  std::vector<std::string> sheets;
  // by sheet: orientation, fitToWidth, fitToHeight, fitToPage, rows printed atop every page, page breaks
  std::map<std::string, std::vector<std::string>> pages;
  std::map<std::string, Cell> cells;             // by "sheet!A1"
  std::vector<std::vector<std::string>> charts;  // scatter charts, log axes, minima, maxima, major units, texts
  std::vector<std::pair<double, double>> sizes;  // of the charts in pixels
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
    if (f[0] == "page" && f.size() == 8) dump.pages[f[1]] = {f[2], f[3], f[4], f[5], f[6], f[7]};
    if (f[0] == "size" && f.size() == 3) dump.sizes.emplace_back(std::stod(f[1]), std::stod(f[2]));
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
  // A file name with bytes XML cannot hold: a control character and U+FFFF.
  AppendWithProvenance(kRow, "2026-11-02T08:15:00Z", "/data/cell 7/run3\x01\xEF\xBF\xBF.mdl");
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);

  const Dump dump = ReadBack(file);
  EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Sheet1", "报告", "阻抗谱"}));
  EXPECT_EQ(dump.cells.at("报告!A1").text, "qelmora 参数报告");
  EXPECT_EQ(dump.cells.at("报告!B4").text, "/data/cell 7/run3\uFFFD\uFFFD.mdl");
  EXPECT_EQ(dump.cells.at("报告!B5").text, "2026-11-02T08:15:00Z");
  EXPECT_EQ(dump.cells.at("报告!B6").text, store.dir.Dir() + "dravo.mdb");
  EXPECT_EQ(dump.cells.at("报告!B3").text.size(), std::string("2026-11-02 08:15:00").size());

  const auto values = SummaryValues(dump);
  ASSERT_EQ(values.count("C1"), 1u);
  // Numbers are numbers; a very small one in scientific form.
  EXPECT_EQ(values.at("C1").first->type, 'n');
  EXPECT_EQ(values.at("C1").first->number(), 1e-5);
  // Each number shown with the digits it has (at most six), the cell keeping the whole value.
  const std::pair<const char*, const char*> formats[] = {
      {"C1", "0.0E+00"}, {"f1", "0.000"}, {"Rp", "0.0"}, {"CPE3-T", "0.00E+00"}, {"R1", "0"}, {"CPE3-P", "0.00"},
      {"C3", "0.00000E+00"}};
  for (const auto& [name, format] : formats) EXPECT_EQ(values.at(name).first->format, format) << name;
  EXPECT_EQ(values.at("C3").first->number(), 5.76001111e-4);
  EXPECT_EQ(values.at("C1").second->text, "F");
  EXPECT_EQ(values.at("f1").first->number(), 159.154946);
  EXPECT_EQ(values.at("f1").second->text, "Hz");
  EXPECT_EQ(values.at("Rp").first->number(), 3310.5);
  EXPECT_EQ(values.at("Rp").second->text, "Ω");
  EXPECT_EQ(values.at("CPE3-T").second->text, "S·s^P");
  EXPECT_EQ(values.at("L0").second->text, "H");
  EXPECT_EQ(values.at("CPE3-P").second, nullptr);  // an exponent has no unit
  // The circuit in words and the formulas the values follow.
  EXPECT_EQ(values.at("等效电路").first->text, "L0 + R0 + (R1‖CPE1) + (R2‖CPE2) + (R3‖CPE3)");
  EXPECT_EQ(values.at("等效电容").first->text, "C = (R·T)^(1/P) / R");
  EXPECT_EQ(values.at("特征频率").first->text, "f = 1 / (2π·(R·T)^(1/P))，π = 3.1415926");
  // A stored text that is no number stays the text; a value the guard left out stays empty.
  EXPECT_EQ(values.at("R0").first->type, 's');
  EXPECT_EQ(values.at("R0").first->text, "4.75 Ohm");
  EXPECT_EQ(values.at("C2").first, nullptr);

  EXPECT_EQ(dump.pages.at("报告"), (std::vector<std::string>{"portrait", "1", "0", "True", "None", ""}));
  // The spectrum's table on two pages under its repeated header, then the charts on pages of their own.
  EXPECT_EQ(dump.pages.at("阻抗谱")[4], "$1:$1");
  EXPECT_EQ(dump.pages.at("阻抗谱")[5].rfind("37,73,", 0), 0u);
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

  // Nyquist: every point inside both ranges, one step for the grid of both axes, and the ranges in the
  // proportions of the plot area (the chart less the margins of its automatic layout); the decades
  // labelled. Bode: |Z| and the phase over the logarithmic f, |Z| logarithmic too.
  ASSERT_EQ(dump.charts.size(), 3u);
  ASSERT_EQ(dump.sizes.size(), 3u);
  for (const auto& chart : dump.charts) EXPECT_EQ(chart[0], "1");
  const std::vector<std::string>& nyquist = dump.charts[0];
  EXPECT_EQ(nyquist[1], "0");
  const auto pair = [](const std::string& text) {
    const std::size_t comma = text.find(',');
    return std::make_pair(std::stod(text.substr(0, comma)), std::stod(text.substr(comma + 1)));
  };
  const auto [xMin, yMin] = pair(nyquist[2]);
  const auto [xMax, yMax] = pair(nyquist[3]);
  const auto [xStep, yStep] = pair(nyquist[4]);
  EXPECT_EQ(xStep, yStep);
  for (int r = 2; r < 2 + 71; ++r) {
    const double x = dump.cells.at("阻抗谱!B" + std::to_string(r)).number();
    const double y = dump.cells.at("阻抗谱!F" + std::to_string(r)).number();
    EXPECT_TRUE(x >= xMin && x <= xMax && y >= yMin && y <= yMax) << r << ": " << x << ", " << y;
  }
  const double plotWidth = dump.sizes[0].first - 81 - 20, plotHeight = dump.sizes[0].second - 75 - 72;
  EXPECT_NEAR((xMax - xMin) / (yMax - yMin), plotWidth / plotHeight, 0.01 * plotWidth / plotHeight);
  EXPECT_EQ(nyquist[5], "Nyquist,0.01 Hz,0.1 Hz,1 Hz,10 Hz,100 Hz,1 kHz,10 kHz,100 kHz,Z′ (Ω),−Z″ (Ω)");
  EXPECT_EQ(dump.charts[1][1], "2");
  EXPECT_EQ(dump.charts[1][2], "0.01,1");  // f from 10 mHz; |Z| from the decade below its least value
  EXPECT_EQ(dump.charts[1][3], "100000,10000");
  EXPECT_EQ(dump.charts[2][1], "1");
  // The Bode charts begin on the page after the Nyquist chart's.
  const std::string breaks = dump.pages.at("阻抗谱")[5];
  EXPECT_GE(std::stod(breaks.substr(breaks.rfind(',') + 1)) * 24, 73 * 24 + dump.sizes[0].second);  // rows of 18 pt
}

// The Nyquist frame for spectra of every shape: a wide arc, a tall inductive tail, a single point and
// a flat line. Every point inside, whole steps on both axes, the ranges in the plot's proportions,
// the chart within a page.
TEST(NyquistAxes, HoldEveryPointInTrueProportion) {
  const std::vector<std::vector<std::pair<double, double>>> spectra = {
      {{10, 0}, {60, 25}, {110, 0.5}},
      {{0.015, -0.077}, {0.016, 0}, {0.05, 0.012}},
      {{3, 0.7}},
      {{1e-3, 0}, {5e4, 1}},
      {{-20, -5}, {-2, -40}},
  };
  for (const auto& points : spectra) {
    const NyquistFrame frame = NyquistAxes(points, 600);
    SCOPED_TRACE(::testing::PrintToString(points));
    for (const auto& [x, y] : points) {
      EXPECT_TRUE(x >= *frame.x.min && x <= *frame.x.max && y >= *frame.y.min && y <= *frame.y.max);
    }
    const double step = *frame.x.majorUnit, xRange = *frame.x.max - *frame.x.min, yRange = *frame.y.max - *frame.y.min;
    EXPECT_EQ(*frame.y.majorUnit, step);
    EXPECT_NEAR(xRange / step, std::round(xRange / step), 1e-6);
    EXPECT_NEAR(yRange / step, std::round(yRange / step), 1e-6);
    EXPECT_NEAR(xRange / yRange, frame.plot.width / frame.plot.height, 1e-9);
    EXPECT_LE(frame.width, 600);
    EXPECT_LE(frame.height, 760);
  }
}

TEST(ReportFileName, ModelBaseNameAndTimeWithoutDirectoryOrExtension) {
  EXPECT_EQ(ReportFileName("/data/cell 7/run3.mdl", "2026-11-02 08:15:09"), "run3-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("C:\\Daten\\probe.v2.mdl", "2026-11-02 08:15:09"), "probe.v2-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("", "2026-11-02 08:15:09"), "qelmora-report-20261102-081509.xlsx");
  EXPECT_EQ(ReportFileName("a:b|c.mdl", "2026-11-02 08:15:09"), "a_b_c-20261102-081509.xlsx");
}

TEST_F(ReportSheetsTest, MeasuredDataBesideTheModelWithResidualsChiSquareAndFourCharts) {
  // The data file beside the model file: three of the model's own frequencies, each point 2 % above
  // the model (from qelmora-cli spectrum), so that χ² = 0.02² and ΔZ′/|Z| = 2·Z′fit / (1.02·|Zfit|) %.
  const std::filesystem::path model = store.dir.Path() / "cell.mdl";
  AppendWithProvenance(kRow, "2026-11-02T08:15:00Z", model.string());
  const rtest::CommandResult csv = Cli("spectrum");
  std::istringstream lines(csv.output);
  std::vector<std::vector<double>> spectrum;
  for (std::string line; std::getline(lines, line);) {
    std::vector<double> values;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) values.push_back(std::atof(field.c_str()));
    spectrum.push_back(values);
  }
  std::ostringstream data;
  data.precision(17);
  data << "Freq\tZreal\tZimag\n";
  for (int k : {40, 30, 20}) data << spectrum[k + 1][0] << "\t" << 1.02 * spectrum[k + 1][1] << "\t" << 1.02 * spectrum[k + 1][2] << "\n";
  qtest::WriteFileBytes(store.dir.Path() / "cell.txt", data.str());
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);
  Dump dump = ReadBack(file);

  const auto values = SummaryValues(dump);
  EXPECT_EQ(values.at("测量数据").first->text, (store.dir.Path() / "cell.txt").string());
  EXPECT_EQ(values.at("测量点数").first->number(), 3);
  EXPECT_EQ(values.at("最低频率").first->number(), 1);
  EXPECT_EQ(values.at("最高频率").first->number(), 100);
  EXPECT_EQ(values.at("数据格式").second->text, "sweep 1 of 1");
  EXPECT_NEAR(values.at("χ²").first->number(), 4e-4, 1e-12);
  EXPECT_EQ(values.at("χ²").second->text, "χ² = (1/N)·Σ[(Z′−Z′fit)² + (Z″−Z″fit)²]/|Zfit|²");
  const char* const headers[] = {"f (Hz)", "Z′ 测量 (Ω)", "Z″ 测量 (Ω)", "Z′ 模型 (Ω)", "Z″ 模型 (Ω)", "ΔZ′/|Z| (%)", "ΔZ″/|Z| (%)"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(dump.cells.at(std::string("阻抗谱!") + static_cast<char>('H' + c) + "1").text, headers[c]);
  for (int r = 2, k = 40; r <= 4; ++r, k -= 10) {
    const auto at = [&](char column) { return dump.cells.at("阻抗谱!" + std::string(1, column) + std::to_string(r)).number(); };
    const std::vector<double>& fit = spectrum[k + 1];
    EXPECT_NEAR(at('H'), fit[0], 1e-9 * fit[0]);
    EXPECT_NEAR(at('K'), fit[1], 1e-12 * fit[3]);
    EXPECT_NEAR(at('L'), fit[2], 1e-12 * fit[3]);
    EXPECT_NEAR(at('M'), 2 * fit[1] / (1.02 * fit[3]), 1e-9);
    EXPECT_NEAR(at('N'), 2 * fit[2] / (1.02 * fit[3]), 1e-9);
  }
  // Nyquist and both Bode charts: the model a line (no markers), the measured points markers (no
  // line); then the residuals over the logarithmic frequency, and the data's Kramers–Kronig residuals.
  ASSERT_EQ(dump.charts.size(), 5u);
  EXPECT_NE(dump.charts[4][5].find("Kramers-Kronig"), std::string::npos);
  EXPECT_EQ(dump.charts[4][6], "2");
  for (int c = 0; c < 3; ++c) EXPECT_EQ(std::vector<std::string>(dump.charts[c].begin() + 6, dump.charts[c].end()),
                                        (std::vector<std::string>{"2", "1", "1"})) << c;
  EXPECT_EQ(dump.charts[3][0], "1");
  EXPECT_EQ(dump.charts[3][1], "1");
  EXPECT_EQ(dump.charts[3][6], "2");
  EXPECT_NE(dump.charts[3][5].find("残差"), std::string::npos);

  // A data file that cannot be read: the report is written all the same and says which file and why.
  qtest::WriteFileBytes(store.dir.Path() / "cell.txt", "EXPLAIN\nTAG\tEISPOT\n");
  const std::filesystem::path second = store.dir.Path() / "report2.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(second.string())).status, 0);
  dump = ReadBack(second);
  EXPECT_EQ(SummaryValues(dump).at("测量数据").first->text, (store.dir.Path() / "cell.txt").string());
  EXPECT_EQ(SummaryValues(dump).at("读取失败").first->text, "Gamry 文件中没有 ZCURVE 表");
  EXPECT_EQ(dump.charts.size(), 3u);
  EXPECT_EQ(dump.cells.count("阻抗谱!H1"), 0u);
}

}  // namespace
