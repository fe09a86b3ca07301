// The measured spectrum: small files written in each instrument family's layout, read to the points
// they hold; files that hold none give a reason; the data file beside a model file; and qelmora-cli
// spectrum --data against values worked out by hand.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "circuit/measured_fit.h"
#include "instrument/measured_data.h"
#include "report/report_sheets.h"
#include "spreadsheet/show_report.h"
#include "res/resource.h"
#include "tests/support/scripted_view.h"
#include "tests/report/report_test_util.h"

namespace {

using namespace std::string_literals;
using Fact = std::pair<std::string, std::string>;

struct FileCase {
  const char* what;
  std::string bytes;
  const char* format;
  std::vector<MeasuredPoint> points;
  std::size_t sweeps;
  std::vector<Fact> facts;
};

const FileCase kFiles[] = {
    {"EC-Lab: Windows-1252, decimal commas, freq/Hz in column 3, -Im(Z), rest rows, two loops",
     "EC-Lab ASCII FILE\r\nNb header lines : 6\r\n\r\nPotentio Electrochemical Impedance Spectroscopy\r\n"
     "Electrode surface area : 0,001 cm\xB2\r\n"
     "mode\ttime/s\tfreq/Hz\tRe(Z)/Ohm\t-Im(Z)/Ohm\tI/\xB5" "A\tcycle number\r\n"
     "1\t0,5\t0,0000000E+000\t9,0\t0,0\t0\t1,0\r\n"
     "1\t1,0\t1,0000000E+004\t1,0\t0,5\t0\t1,0\r\n"
     "1\t2,0\t1,0000000E+002\t2,0\t1,5\t0\t1,0\r\n"
     "1\t3,0\t1,0000000E+000\t3,0\t-0,25\t0\t1,0\r\n"
     "1\t3,5\t0,0000000E+000\t9,0\t0,0\t0\t2,0\r\n"
     "1\t4,0\t5,0000000E-001\t4,0\t2,0\t0\t2,0\r\n"
     "1\t5,0\t1,0000000E-001\t5,0\t3,0\t0\t2,0\r\n",
     "EC-Lab",
     {{1e4, 1.0, -0.5}, {100, 2.0, -1.5}, {1, 3.0, 0.25}},
     2,
     {{"Electrode surface area", "0,001 cm\xC2\xB2"}, {"略去的行", "2 行的频率不是正数或 Z 不是有限数，未用（第 7、11 行）"}}},
    {"Gamry: header keys, units line, tab-led rows, comma decimals, a later table not read",
     "EXPLAIN\r\nTAG\tEISPOT\r\nTITLE\tLABEL\tCell 7\tTest &Identifier\r\nDATE\tLABEL\t3/15/2021\tDate\r\n"
     "AREA\tQUANT\t0,5\tSample Area (cm^2)\r\nZCURVE\tTABLE\r\n"
     "\tPt\tTime\tFreq\tZreal\tZimag\tZmod\r\n\t#\ts\tHz\tohm\tohm\tohm\r\n"
     "\t0\t1\t100000\t2,5\t-0,125\t2,5\r\n\t1\t2\t1000\t3\t-1\t3,2\r\n\t2\t3\t10\t4,5\t-2\t4,9\r\n"
     "EXPERIMENTABORTED\tTOGGLE\tT\r\nOCVCURVE\tTABLE\r\n\t0\t1\t5\t7\t-7\t9\r\n",
     "Gamry",
     {{1e5, 2.5, -0.125}, {1e3, 3, -1}, {10, 4.5, -2}},
     1,
     {{"TAG", "EISPOT"}, {"TITLE", "Cell 7"}, {"DATE", "3/15/2021"}, {"AREA", "0,5 (Sample Area (cm^2))"}}},
    {"ZPLOT2 ASCII: blocks, names, End Comments, a second sweep where the frequency rises",
     "ZPLOT2 ASCII\n  Date: 03-15-2021\nBegin Hardware\n  Model: 1260\nEnd Hardware\n"
     "Freq(Hz)\tAmpl\tBias\tTime(Sec)\tZ'(a)\tZ''(b)\tGD\n"
     "End Comments\n1.0E+05\t0.01\t0\t1\t10.5\t-0.5\t0\n1.0E+03\t0.01\t0\t2\t11\t-2\t0\n"
     "1.0E+01\t0.01\t0\t3\t13\t-1\t0\n1.0E+02\t0.01\t0\t4\t12\t-1.5\t0\n",
     "ZPlot",
     {{1e5, 10.5, -0.5}, {1e3, 11, -2}, {10, 13, -1}},
     2,
     {{"Date", "03-15-2021"}}},
    {"ZPlotW: quoted header, the point count, rows split by \", \"",
     "\"ZPlotW Data File: Version 2.6\"\r\n\"Date: 03-15-2021\"\r\n\"Title: cell B\"\r\n3\r\n"
     "\"Freq(Hz)\", \"Ampl\", \"Bias\", \"Time(Sec)\", \"Z'(a)\", \"Z''(b)\"\r\n"
     "1.0E+04, 0.01, 0, 1, 5, -0.5\r\n1.0E+02, 0.01, 0, 2, 6, -1\r\n1.0E+00, 0.01, 0, 3, 7, -0.75\r\n"
     "1.0E-01, 0.01, 0, 4, 8, -0.1\r\n",
     "ZPlot",
     {{1e4, 5, -0.5}, {100, 6, -1}, {1, 7, -0.75}},
     1,
     {{"Date", "03-15-2021"}, {"Title", "cell B"}}},
    {"CH Instruments: date line, Key = value, Z\" signed, a row of negative frequency",
     "Mar. 15, 2021   10:12:00\nA.C. Impedance\nFile:  C:\\data\\x.bin\nInit E (V) = 0\n"
     "Freq/Hz, Z'/ohm, Z\"/ohm, Z/ohm, Phase/deg\n\n1.000e5, 1.2e1, -3.0e-1, 12.0, -1.4\n"
     "-1.0e3, 1.0, -1.0, 1.4, -45\n1.000e1, 1.5e1, -4.0e0, 15.5, -14.9\n",
     "CH Instruments",
     {{1e5, 12, -0.3}, {10, 15, -4}},
     1,
     {{"Date", "Mar. 15, 2021   10:12:00"}, {"略去的行", "1 行的频率不是正数或 Z 不是有限数，未用（第 8 行）"}}},
    {"CSV: byte-order mark, names with units, a negated -Z'' column",
     "\xEF\xBB\xBF" "Frequency (Hz),Z' (Ohm),-Z'' (Ohm)\n1000,1.5,0.25\n100,2.5,1e0\n",
     "表格文本",
     {{1000, 1.5, -0.25}, {100, 2.5, -1}},
     1,
     {}},
    {"semicolons with decimal commas; nan and zero frequencies skipped",
     "f;Zre;Zim\r\n1000;1,5;-0,25\r\nnan;1;1\r\n0;1;1\r\n100;2,5;-1\r\n",
     "表格文本",
     {{1000, 1.5, -0.25}, {100, 2.5, -1}},
     1,
     {{"略去的行", "2 行的频率不是正数或 Z 不是有限数，未用（第 3、4 行）"}}},
    {"blanks, |Z| and phase",
     "freq |Z| phase\n1000 2 -90\n100 4 0\n",
     "表格文本",
     {{1000, 0, -2}, {100, 4, 0}},
     1,
     {}},
};

TEST(MeasuredData, EachFormatReadsToItsPoints) {
  for (const FileCase& file : kFiles) {
    SCOPED_TRACE(file.what);
    const MeasuredData data = ParseMeasuredData(file.bytes);
    EXPECT_EQ(data.format, file.format);
    EXPECT_EQ(data.sweeps, file.sweeps);
    EXPECT_EQ(data.facts, file.facts);
    ASSERT_EQ(data.points.size(), file.points.size());
    for (std::size_t i = 0; i < file.points.size(); ++i) {
      EXPECT_DOUBLE_EQ(data.points[i].frequency, file.points[i].frequency) << i;
      EXPECT_NEAR(data.points[i].real, file.points[i].real, 1e-12) << i;
      EXPECT_NEAR(data.points[i].imaginary, file.points[i].imaginary, 1e-12) << i;
    }
  }
}

TEST(MeasuredData, FilesWithoutASpectrumSayWhy) {
  const std::pair<std::string, const char*> kBad[] = {
      {"", "空"},
      {"1,2,3\n4,5,6\n", "列名"},
      {"EXPLAIN\nTAG\tCV\nZCURVE\tTABLE\n", "CV"},
      {"EXPLAIN\nTAG\tEISPOT\nDATE\tLABEL\t1/1/2021\n", "ZCURVE"},
      {"EC-Lab ASCII FILE\nNb header lines : 99\n", "Nb header lines"},
      {"f,Z',Z''\n0,1,1\n-5,1,1\n", "频率为正数"},
      // A row that cannot be read is named, never dropped without a word.
      {"f,Z',Z''\n10,abc,1\n1,2,2\n", "第 2 行的 Z' 不是数字：abc"},
      {"f,Z',Z''\n100,1,-1\n10;x\n1,3,-3\n", "第 3 行不是数据行"},
      {"f,Z',Z''\n100,1,-1\n10,2\n", "第 3 行只有 2 列"},
      {"EC-Lab ASCII FILE\nNb header lines : 3\nfreq/Hz\tRe(Z)/Ohm\t-Im(Z)/Ohm\n", "没有数据行"},
      {"BIO-LOGIC MODULAR FILE\x1a", "文件头"},
      {"\xFF\xFE{\0\"\0M\0e\0a\0s\0u\0r\0e\0m\0e\0n\0t\0s\0\"\0:\0[\0]\0}\0"s, "没有阻抗谱测量"},
      {"[Method]\nTitle=x\nprimary_data\n3\n2\n1 2 3\n", "第 1 组数据的第 2 点"},
      {"EXPLAIN\nTAG\tEISPOT\nZCURVE\tTABLE\n\tPt\tFreq\tZreal\n", "列名"},
  };
  for (const auto& [bytes, reason] : kBad) {
    EXPECT_NE(qtest::OperationFailure([&] { ParseMeasuredData(bytes); }).find(reason), std::string::npos) << bytes;
  }
  qtest::TempDir dir;
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData((dir.Path() / "missing.z").string()); }).find("无法打开"),
            std::string::npos);
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData(dir.Path().string()); }), "");
}

// Files of every format written by make_measured_samples.py from the formats' descriptions, with
// what it computed from the values it wrote.
TEST(MeasuredData, SamplesOfEachInstrumentReadToTheValuesWritten) {
  qtest::TempDir dir;
  const rtest::CommandResult made = rtest::RunCommand("python3 " + rtest::ShellQuote(QELMORA_MEASURED_SAMPLES) + " " +
                                                      rtest::ShellQuote(dir.Dir()) + " 2>&1");
  ASSERT_EQ(made.status, 0) << made.output;
  const nlohmann::json all = nlohmann::json::parse(qtest::ReadFileBytes(dir.Path() / "expected.json"));
  const nlohmann::json& expected = all["read"];
  ASSERT_EQ(expected.size(), 11u);
  for (const nlohmann::json& file : all["refused"]) {
    const std::string path = (dir.Path() / file["file"].get<std::string>()).string();
    EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData(path); }).find(file["reason"].get<std::string>()),
              std::string::npos)
        << file.dump();
  }
  const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(b)); };
  for (const nlohmann::json& file : expected) {
    SCOPED_TRACE(file.dump());
    const MeasuredData data = ReadMeasuredData((dir.Path() / file["file"].get<std::string>()).string());
    EXPECT_EQ(data.format, file["format"]);
    EXPECT_EQ(data.sweeps, file["sweeps"]);
    ASSERT_EQ(data.points.size(), file["points"]);
    for (const auto& [point, key] : {std::pair{data.points.front(), "first"}, std::pair{data.points.back(), "last"}}) {
      EXPECT_TRUE(near(point.frequency, file[key][0]) && near(point.real, file[key][1]) && near(point.imaginary, file[key][2]))
          << key << " " << point.frequency << " " << point.real << " " << point.imaginary;
    }
    const auto [low, high] = std::minmax_element(data.points.begin(), data.points.end(),
                                                 [](const auto& a, const auto& b) { return a.frequency < b.frequency; });
    EXPECT_TRUE(near(low->frequency, file["fmin"]) && near(high->frequency, file["fmax"]));
  }
  // The binary file and the text export of one run: the same points to single precision.
  const MeasuredData binary = ReadMeasuredData((dir.Path() / "peis.mpr").string());
  const MeasuredData text = ReadMeasuredData((dir.Path() / "peis.mpt").string());
  ASSERT_EQ(binary.points.size(), text.points.size());
  for (std::size_t i = 0; i < text.points.size(); ++i) {
    EXPECT_EQ(static_cast<float>(binary.points[i].frequency), static_cast<float>(text.points[i].frequency)) << i;
    EXPECT_EQ(static_cast<float>(binary.points[i].real), static_cast<float>(text.points[i].real)) << i;
    EXPECT_EQ(static_cast<float>(binary.points[i].imaginary), static_cast<float>(text.points[i].imaginary)) << i;
  }
  EXPECT_EQ(binary.facts, (std::vector<Fact>{{"Date", "12/08/26"}}));
  // Drift correction on: the corrected columns, and the summary says so.
  const MeasuredData gamry = ReadMeasuredData((dir.Path() / "galv.DTA").string());
  EXPECT_NE(std::find_if(gamry.facts.begin(), gamry.facts.end(), [](const Fact& f) { return f.first == "漂移校正"; }),
            gamry.facts.end());
}

TEST(MeasuredData, ANamedPipeOrAFolderIsRefusedWithoutWaiting) {
  qtest::TempDir dir;
  const std::filesystem::path pipe = dir.Path() / "cell.mpt";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const MeasuredInput input = LoadMeasuredInput("", (dir.Path() / "cell.mdl").string());
  EXPECT_EQ(input.file, pipe.string());
  EXPECT_NE(input.failure.find("不是普通文件"), std::string::npos) << input.failure;
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData(dir.Dir()); }).find("不是普通文件"), std::string::npos);
}

// More points than a chart's series can draw: the sheet lists them all, the charts the first
// kMaxChartPoints, and the summary says which.
TEST(MeasuredData, AReportTakesWhatItsSheetAndChartsCanCarryAndSaysSo) {
  MeasuredData data;
  data.format = "表格文本";
  for (std::size_t i = 0; i < kMaxChartPoints + 5; ++i) data.points.push_back({1e5 / (1.0 + i), 1.0 + i, -1.0});
  SummaryHeading heading;
  heading.measured.file = "big.csv";
  heading.measured.data = data;
  const ParameterSet parameters{"", "10", "1000", "1e-4", "1", "", "", "", "", "", ""};
  const ReportWorkbook report = BuildReportWorkbook(parameters, heading);
  std::string listed;
  for (const SheetCell& cell : report.sheets.at(1).cells) {
    if (const auto* text = std::get_if<std::string>(&cell.value); text && text->starts_with("表中 ")) listed = *text;
  }
  EXPECT_EQ(listed, "表中 32005 个点，图中 32000 个点");
  for (const SheetChart& chart : report.sheets.at(2).charts) {
    for (const ChartSeries& series : chart.series) EXPECT_LE(series.lastRow, kMaxChartPoints) << chart.title;
  }
  const MeasuredFit fit = FitMeasuredData(data, parameters, 10);
  EXPECT_EQ(fit.rows.size(), 10u);
  EXPECT_EQ(fit.points, data.points.size());
}

TEST(MeasuredData, TheFileBesideTheModelByTheOrderOfExtensions) {
  qtest::TempDir dir;
  const std::string model = (dir.Path() / "cell.mdl").string();
  EXPECT_EQ(FindMeasuredDataFile(model), "");
  for (const char* name : {"cell.csv", "cell.txt", "cell.z", "cell.DTA", "cell.mpt"}) {
    qtest::WriteFileBytes(dir.Path() / name, "");
    EXPECT_EQ(FindMeasuredDataFile(model), (dir.Path() / name).string());
  }
  EXPECT_EQ(FindMeasuredDataFile(""), "");
}

TEST(MeasuredData, TheDialogTakesAChosenFileOnlyWhenItReads) {
  qtest::ScriptedMessageBoxes boxes;
  qtest::ScriptedView view(boxes);
  MainDialog dialog(view);
  qtest::TempDir dir;
  const std::filesystem::path good = dir.Path() / "run.csv", bad = dir.Path() / "run.txt";
  qtest::WriteFileBytes(good, "f,Z',Z''\n10,1,-1\n1,2,-2\n");
  qtest::WriteFileBytes(bad, "no table here\n");
  view.fileAnswers = {OpenFileResult{good.string(), "run.csv"}, OpenFileResult{bad.string(), "run.txt"}, std::nullopt};
  for (const char* shown : {"测量数据：run.csv（表格文本，2 个点，第 1 次扫描，共 1 次）", "无法读取测量数据文件 ", ""}) {
    boxes.Clear();
    dialog.OnCommand(IDM_MEASURED_DATA);
    EXPECT_EQ(dialog.m_strDataPath, good.string());
    ASSERT_EQ(boxes.Texts().size(), *shown ? 1u : 0u);
    if (*shown) {
      EXPECT_TRUE(boxes.Texts()[0].starts_with(shown)) << boxes.Texts()[0];
    }
  }
  EXPECT_EQ(view.fileRequests.at(0).filters.at(0).second,
            "*.mpt *.mpr *.DTA *.dta *.z *.par *.idf *.ids *.ism *.pssession *.txt *.csv");

  // The report of this run draws the chosen file: the summary names it.
  rtest::ScratchStore store;
  store.Append({"", "10", "1000", "1e-4", "1", "", "", "", "", "", ""});
  std::optional<ReportWorkbook> shown;
  SetReportShower([&](const ReportWorkbook& report) { return shown = report, true; });
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);
  SetReportShower(nullptr);
  ASSERT_TRUE(shown);
  std::map<std::pair<std::size_t, std::size_t>, std::string> texts;
  for (const SheetCell& cell : shown->sheets.at(1).cells) {
    if (const auto* text = std::get_if<std::string>(&cell.value)) texts[{cell.row, cell.column}] = *text;
  }
  EXPECT_EQ((texts[{6, 0}]), "测量数据");
  EXPECT_EQ((texts[{6, 1}]), good.string());
}

TEST(SpectrumCli, MeasuredPointsBesideTheModelWithResidualsAndChiSquare) {
  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
  // R0 = 10 Ω and R‖C with its corner at 1 Hz: there the model is 510 − 500j Ω. Measured 1 % above
  // it: χ² = 0.01², ΔZ′/|Z| = 0.01·510 / (1.01·|510 − 500j|).
  store.Append({"", "10", "1000", "1.5915494309189535e-4", "1", "", "", "", "", "", ""});
  const std::filesystem::path data = store.dir.Path() / "m.csv", errors = store.dir.Path() / "stderr.txt";
  qtest::WriteFileBytes(data, "f,Z',Z''\n1,515.1,-505\n");
  const std::string command = rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(store.dir.Dir()) +
                              " spectrum --data ";
  const rtest::CommandResult run = rtest::RunCommand(command + rtest::ShellQuote(data.string()) + " 2>" +
                                                     rtest::ShellQuote(errors.string()));
  ASSERT_EQ(run.status, 0) << qtest::ReadFileBytes(errors);
  std::istringstream lines(run.output);
  std::string header, row;
  std::getline(lines, header);
  std::getline(lines, row);
  EXPECT_EQ(header, "f_Hz,Zre_ohm,Zim_ohm,Zre_model_ohm,Zim_model_ohm,dZre_pct,dZim_pct\r");
  std::vector<double> values;
  std::istringstream fields(row);
  for (std::string field; std::getline(fields, field, ',');) values.push_back(std::stod(field));
  const double modulus = 1.01 * std::hypot(510.0, 500.0);
  const std::vector<double> expected = {1, 515.1, -505, 510, -500, 100 * 5.1 / modulus, 100 * -5.0 / modulus};
  ASSERT_EQ(values.size(), expected.size()) << row;
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(values[i], expected[i], 1e-9) << i;
  const std::string messages = qtest::ReadFileBytes(errors);
  const std::size_t chi = messages.find(std::string(kChiSquareFormula) + " = ");
  ASSERT_NE(chi, std::string::npos) << messages;
  EXPECT_NEAR(std::stod(messages.substr(chi + std::string(kChiSquareFormula).size() + 3)), 1e-4, 1e-12);
  EXPECT_NE(messages.find("1 个点"), std::string::npos) << messages;

  const std::string missing = (store.dir.Path() / "none.mpt").string();
  const rtest::CommandResult failed = rtest::RunCommand(command + rtest::ShellQuote(missing) + " 2>&1 >/dev/null");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.output.find("无法读取测量数据文件 " + missing), std::string::npos) << failed.output;
}

}  // namespace
