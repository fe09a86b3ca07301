// The report's summary and spectrum sheets: written by qelmora-cli report --xlsx on a real store and
// read back with openpyxl and the package's own chart parts; the spectrum in the sheet against
// qelmora-cli spectrum. Besides, the names the report files get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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
for ws in wb.worksheets:
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
          xml.count("<c:ser>"), xml.count("<c:symbol val=\"none\"/>"), xml.count("<a:ln><a:noFill/>")) +
          "\t%d\t%s" % (len([m for m in re.findall(r"<c:marker>.*?</c:marker>", xml) if "<a:noFill/>" in m]),
                        ",".join(re.findall(r"<c:manualLayout><c:layoutTarget val=\"inner\"/><c:xMode val=\"edge\"/><c:yMode val=\"edge\"/>"
                                            r"<c:x val=\"([^\"]*)\"/><c:y val=\"([^\"]*)\"/><c:w val=\"([^\"]*)\"/><c:h val=\"([^\"]*)\"/>", xml)[0])
                        if "<c:manualLayout>" in xml else "-"))
# The charts' sizes in pixels, in the order they were placed, from their cell anchors (a row of h
# points is h × 4/3 pixels high, a column 64 pixels wide).
ws = wb["阻抗谱图"]
def column_pixels(c):
    return 64
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
    return rtest::RunCommand("env TZ=Asia/Shanghai HOME=" + rtest::ShellQuote(store.dir.Dir()) + " " + rtest::ShellQuote(QELMORA_CLI) +
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
  EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Sheet1", "报告", "阻抗谱", "阻抗谱图"}));
  EXPECT_EQ(dump.cells.at("报告!A1").text, "qelmora 参数报告");
  EXPECT_EQ(dump.cells.at("报告!B4").text, "/data/cell 7/run3\uFFFD\uFFFD.mdl");
  // Both times local, in one form that says the zone.
  EXPECT_EQ(dump.cells.at("报告!B5").text, "2026-11-02 16:15:00 UTC+08:00");
  EXPECT_EQ(dump.cells.at("报告!B6").text, "~/dravo.mdb");  // in the home folder, as the desktop shows it
  EXPECT_EQ(dump.cells.at("报告!B3").text.substr(19), " UTC+08:00");

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
  // The parameter row on one landscape page; the spectrum's table on two pages under its repeated
  // header; the charts each on a page of its own, without it.
  EXPECT_EQ(dump.pages.at("Sheet1"), (std::vector<std::string>{"landscape", "1", "0", "True", "None", ""}));
  EXPECT_EQ(dump.pages.at("阻抗谱")[4], "$1:$1");
  EXPECT_EQ(dump.pages.at("阻抗谱")[5], "37");
  EXPECT_EQ(dump.pages.at("阻抗谱图"), (std::vector<std::string>{"portrait", "1", "0", "True", "None", "40,80"}));
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
  // proportions of the plot area the chart part places; the decades labelled. Bode: |Z| and the
  // phase over the logarithmic f, |Z| logarithmic too. The whole spectrum is capacitive: no second
  // Nyquist chart.
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
  double place[4] = {};  // the plot area the chart part places: x, y, w, h as fractions of the chart
  ASSERT_EQ(std::sscanf(nyquist[10].c_str(), "%lf,%lf,%lf,%lf", &place[0], &place[1], &place[2], &place[3]), 4) << nyquist[10];
  const double plotWidth = place[2] * dump.sizes[0].first, plotHeight = place[3] * dump.sizes[0].second;
  EXPECT_NEAR((xMax - xMin) / (yMax - yMin), plotWidth / plotHeight, 0.01 * plotWidth / plotHeight);
  EXPECT_EQ(nyquist[5].rfind("Nyquist,0.01 Hz,0.1 Hz,", 0), 0u) << nyquist[5];
  for (const auto& chart : dump.charts) EXPECT_EQ(chart[10] == "-", chart[1] != "0") << chart[5];  // Bode
  EXPECT_EQ(dump.charts[1][1], "2");
  EXPECT_EQ(dump.charts[1][2], "0.01,1");  // f from 10 mHz; |Z| from the decade below its least value
  EXPECT_EQ(dump.charts[1][3], "100000,10000");
  EXPECT_EQ(dump.charts[2][1], "1");
  // Each chart within its page (40 rows of 18 points, 24 pixels).
  for (const auto& [width, height] : dump.sizes) EXPECT_TRUE(width <= 640 && height <= 40 * 24) << width << "x" << height;
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
    EXPECT_LE(frame.height, 38 * 24);  // a page's 40 rows less one above and one below
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
  EXPECT_EQ(values.at("测量数据").first->text, "~/cell.txt");
  EXPECT_EQ(values.at("测量点数").first->number(), 3);
  EXPECT_EQ(values.at("最低频率").first->number(), 1);
  EXPECT_EQ(values.at("最高频率").first->number(), 100);
  EXPECT_EQ(values.at("数据格式").first->text, "表格文本");
  EXPECT_EQ(values.at("数据格式").second->text, "第 1 次扫描，共 1 次");
  // f1 = 159 Hz and f3 = 0.086 Hz lie outside the measured frequencies, and only they (the note
  // after the quality columns).
  std::vector<std::string> notes;
  for (const auto& [at, cell] : dump.cells) {
    if (at.rfind("报告!G", 0) == 0) notes.push_back(dump.cells.at("报告!A" + at.substr(at.find('G') + 1)).text + " " + cell.text);
  }
  EXPECT_EQ(notes, (std::vector<std::string>{"f1 高于谱的频率范围 1 – 100 Hz", "f3 低于谱的频率范围 1 – 100 Hz"}));
  EXPECT_NEAR(values.at("χ²").first->number(), 4e-4, 1e-12);
  EXPECT_EQ(values.at("χ²").second->text, "χ² = (1/N)·Σ[(Z′−Z′fit)² + (Z″−Z″fit)²]/|Zfit|²");
  const char* const headers[] = {"f (Hz)", "Z′ 测量 (Ω)", "Z″ 测量 (Ω)", "Z′ 模型 (Ω)", "Z″ 模型 (Ω)", "ΔZ′/|Z| (%)", "ΔZ″/|Z| (%)"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(dump.cells.at(std::string("阻抗谱!") + static_cast<char>('H' + c) + "1").text, headers[c]);
  // The model's table in the measured points' order, from 100 kHz down.
  EXPECT_EQ(dump.cells.at("阻抗谱!A2").number(), 1e5);
  EXPECT_EQ(dump.cells.at("阻抗谱!A72").number(), 0.01);
  for (int r = 2, k = 40; r <= 4; ++r, k -= 10) {
    const auto at = [&](char column) { return dump.cells.at("阻抗谱!" + std::string(1, column) + std::to_string(r)).number(); };
    const std::vector<double>& fit = spectrum[k + 1];
    EXPECT_NEAR(at('H'), fit[0], 1e-9 * fit[0]);
    EXPECT_NEAR(at('K'), fit[1], 1e-12 * fit[3]);
    EXPECT_NEAR(at('L'), fit[2], 1e-12 * fit[3]);
    EXPECT_NEAR(at('M'), 2 * fit[1] / (1.02 * fit[3]), 1e-9);
    EXPECT_NEAR(at('N'), 2 * fit[2] / (1.02 * fit[3]), 1e-9);
  }
  // Both Nyquist charts (the whole and the capacitive part of 1 … 100 Hz) and both Bode charts: the
  // model a line (no markers), then the measured points open markers (no line); then the residuals
  // over the logarithmic frequency, and the data's Kramers–Kronig residuals.
  ASSERT_EQ(dump.charts.size(), 6u);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(std::vector<std::string>(dump.charts[c].begin() + 6, dump.charts[c].begin() + 10),
                                        (std::vector<std::string>{"2", "1", "1", "1"})) << c;
  EXPECT_EQ(dump.charts[1][5].rfind("Nyquist −Z″ ≥ 0,", 0), 0u) << dump.charts[1][5];
  // Its Z′ up to the point at 1 Hz, short of the whole spectrum's (which goes on to 10 mHz); placed.
  EXPECT_TRUE(std::stod(dump.charts[1][3]) >= 1.02 * spectrum[21][1] && std::stod(dump.charts[1][3]) < spectrum[1][1]);
  EXPECT_EQ(std::count(dump.charts[1][10].begin(), dump.charts[1][10].end(), ','), 3);
  EXPECT_EQ(dump.charts[4][0] + dump.charts[4][1] + dump.charts[4][6], "112");
  EXPECT_NE(dump.charts[4][5].find("残差"), std::string::npos);
  EXPECT_NE(dump.charts[5][5].find("Kramers-Kronig"), std::string::npos);
  EXPECT_EQ(dump.charts[5][6], "2");

  // A data file that cannot be read: the report is written all the same and says which file and why.
  qtest::WriteFileBytes(store.dir.Path() / "cell.txt", "EXPLAIN\nTAG\tEISPOT\n");
  const std::filesystem::path second = store.dir.Path() / "report2.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(second.string())).status, 0);
  dump = ReadBack(second);
  EXPECT_EQ(SummaryValues(dump).at("测量数据").first->text, "~/cell.txt");
  EXPECT_EQ(SummaryValues(dump).at("读取失败").first->text, "Gamry 文件中没有 ZCURVE 表");
  EXPECT_EQ(dump.charts.size(), 3u);
  EXPECT_EQ(dump.cells.count("阻抗谱!H1"), 0u);

  // A long sweep: the workbook, its chart parts rewritten with the plot areas placed, is whole.
  std::ostringstream many;
  many << "Freq\tZreal\tZimag\n";
  for (int i = 0; i < 2000; ++i) many << 1e5 * std::pow(10.0, -7.0 * i / 1999) << "\t" << 0.01 + i * 1e-6 << "\t-0.001\n";
  qtest::WriteFileBytes(store.dir.Path() / "cell.txt", many.str());
  const std::filesystem::path third = store.dir.Path() / "report3.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(third.string())).status, 0);
  EXPECT_EQ(SummaryValues(ReadBack(third)).at("测量点数").first->number(), 2000);
}

// The grid of each printed page that shows a Nyquist chart: rendered at 150 dpi, the lines of neutral
// grey that run across most of the plot, and the spacing of the vertical and of the horizontal ones
// (the outermost lines' distance over the grid steps between them, in pixels).
constexpr const char* kPrintedGridScript = R"PY(
import subprocess, sys
pdf = sys.argv[1]
pages = int([l.split()[1] for l in subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout.splitlines() if l.startswith("Pages:")][0])
def spacing(counts):
    at = [i for i, c in enumerate(counts) if c >= 150]
    groups = []
    for i in at:
        if groups and i - groups[-1][-1] <= 2: groups[-1].append(i)
        else: groups.append([i])
    # The grid's lines are all as long as the plot; the chart's border and the legend's are not.
    length = sorted(max(counts[i] for i in g) for g in groups)[len(groups) // 2]
    pos = [sum(g) / len(g) for g in groups if abs(max(counts[i] for i in g) - length) <= 0.1 * length]
    gaps = sorted(b - a for a, b in zip(pos, pos[1:])) or [1]
    return (pos[-1] - pos[0]) / max(1, round((pos[-1] - pos[0]) / gaps[len(gaps) // 2])), len(pos)
for page in range(1, pages + 1):
    if "Nyquist" not in subprocess.run(["pdftotext", "-f", str(page), "-l", str(page), pdf, "-"], capture_output=True, text=True).stdout: continue
    ppm = subprocess.run(["pdftoppm", "-r", "150", "-f", str(page), "-l", str(page), "-singlefile", pdf], capture_output=True, check=True).stdout
    magic, size, depth, data = ppm.split(b"\n", 3)
    w, h = map(int, size.split())
    grey = [1 if 120 <= r <= 230 and abs(r - g) < 10 and abs(g - b) < 10 else 0 for r, g, b in zip(data[0::3], data[1::3], data[2::3])]
    columns = [sum(grey[x::w]) for x in range(w)]
    rows = [sum(grey[y * w:(y + 1) * w]) for y in range(h)]
    print("%d %.3f %d %.3f %d" % ((page,) + spacing(columns) + spacing(rows)))
)PY";

// The report as LibreOffice Calc prints it, with a measured spectrum of the sample's shape (the arcs
// near the origin, the inductive tail far below): on each Nyquist page one ohm is as long across as
// up (the grid's squares within 2 %). Needs Calc and poppler-utils (scripts/setup.sh --pictures).
TEST_F(ReportSheetsTest, PrintedNyquistChartsKeepOneOhmOneLengthInCalc) {
  if (rtest::RunCommand("command -v soffice && command -v pdftoppm && command -v pdftotext && command -v pdfinfo").status != 0)
    GTEST_SKIP() << "LibreOffice Calc or poppler-utils is not installed: both come with scripts/setup.sh --pictures";
  AppendWithProvenance({"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107", "12.453", "0.91027", "0.10342",
                        "356.71", "0.65318"}, {}, (store.dir.Path() / "cell.mdl").string());
  // Measured: every third of the model's points, 2 % above it, from 100 kHz down.
  Cli("spectrum | tail -n +2 | tac | awk -F, 'BEGIN { print \"f,Zre,Zim\" } NR % 3 == 1 { print $1 \",\" 1.02 * $2 \",\" 1.02 * $3 }' >" +
      rtest::ShellQuote((store.dir.Path() / "cell.csv").string()));
  const std::filesystem::path file = store.dir.Path() / "report.xlsx";
  ASSERT_EQ(Cli("report --xlsx " + rtest::ShellQuote(file.string())).status, 0);
  const std::string dir = rtest::ShellQuote(store.dir.Dir());
  const rtest::CommandResult pdf = rtest::RunCommand("cd " + dir + " && HOME=" + dir + " soffice --headless --norestore " +
                                                     "-env:UserInstallation=file://" + dir + "lo --convert-to pdf report.xlsx 2>&1");
  ASSERT_EQ(pdf.status, 0) << pdf.output;
  const rtest::CommandResult grid = rtest::RunCommand("/usr/bin/python3 -c " + rtest::ShellQuote(kPrintedGridScript) + " " +
                                                      rtest::ShellQuote((store.dir.Path() / "report.pdf").string()) + " 2>&1");
  ASSERT_EQ(grid.status, 0) << grid.output;
  std::istringstream pages(grid.output);
  int nyquistPages = 0;
  for (std::string line; std::getline(pages, line); ++nyquistPages) {
    int page = 0, across = 0, up = 0;
    double width = 0, height = 0;
    std::istringstream(line) >> page >> width >> across >> height >> up;
    EXPECT_TRUE(across >= 4 && up >= 4 && std::fabs(width / height - 1) < 0.02) << line;
  }
  EXPECT_EQ(nyquistPages, 2) << grid.output;
}

}  // namespace
