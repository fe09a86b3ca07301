// qelmora-cli history --xlsx, run as a child process on a real store; the workbook is read back with
// openpyxl, its charts from the package's XML.
#include <gtest/gtest.h>

#include <string>

#include "tests/report/report_test_util.h"

namespace {

rtest::CommandResult History(const std::string& storeDir, const std::string& target, const char* more = "") {
  return rtest::RunCommand(rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(storeDir) +
                           " history --xlsx " + rtest::ShellQuote(target) + more + " 2>&1");
}

// What a reader of the workbook sees: one line per fact, "name<TAB>value".
std::string Describe(const std::filesystem::path& file) {
  static const char* const kScript = R"PY(
import re, sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print("sheets", [ws.title for ws in wb.worksheets])
ws = wb["参数历史"]
print("frozen", ws.freeze_panes)
print("filter", ws.auto_filter.ref)
def shown(c):
    return c.value if not isinstance(c.value, float) else float("%.9g" % c.value)
print("header", [c.value for c in ws[2]][:21])
for row in ws.iter_rows(min_row=3, max_col=21):
    print("row", [shown(c) for c in row])
# The standard errors and the change flags after the table.
print("quality", [c.value for c in ws[2]][21:])
print("formats", ws["B4"].number_format, ws["E4"].number_format, ws["K4"].number_format, ws["D4"].number_format)
print("widths", ws.column_dimensions["B"].width, ws.column_dimensions["C"].width)
z = zipfile.ZipFile(sys.argv[1])
for name in sorted((n for n in z.namelist() if n.startswith("xl/charts/chart")), key=lambda n: int(re.sub(r"\D", "", n)))[3:5]:
    xml = z.read(name).decode()
    print("chart", re.findall(r"<c:f>([^<]*)</c:f>", xml))
    print("titles", re.findall(r"<a:t>([^<]*)</a:t>", xml), xml.count('<c:logBase val="10"/>'),
          re.findall(r'<c:dispBlanksAs val="([^"]*)"/>', xml) or ["gap"])  # a gap unless said otherwise
)PY";
  const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const rtest::CommandResult run =
      rtest::RunCommand(python + " -c " + rtest::ShellQuote(kScript) + " " + rtest::ShellQuote(file.string()) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.output;
  return run.output;
}

// The write-ahead log files that lie beside the store while a connection is open.
bool IsStoreLog(const std::filesystem::path& path) {
  return path.filename() == "dravo.mdb-wal" || path.filename() == "dravo.mdb-shm";
}

// The charts of R3 and Rp: over the import time, the standard errors of R3 as error bars (Rp has none).
std::string Charts() {
  return "chart [\"'参数历史'!$AD$3:$AD$4\", \"'参数历史'!$AD$3:$AD$4\", \"'参数历史'!$B$3:$B$4\", \"'参数历史'!$L$3:$L$4\"]\n"
         "titles ['R3', '导入时间 (UTC)', 'R3 (Ω)'] 0 ['gap']\n"
         "chart [\"'参数历史'!$B$3:$B$4\", \"'参数历史'!$U$3:$U$4\"]\ntitles ['Rp', '导入时间 (UTC)', 'Rp (Ω)'] 0 ['gap']\n";
}

class HistoryXlsxTest : public ::testing::Test {
 protected:
  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
};

TEST_F(HistoryXlsxTest, EveryRowWithItsDerivedValuesNumbersAndCharts) {
  // An earlier row without provenance and with texts that are not numbers, then an imported row whose
  // file name holds a control character (XML cannot carry it: it is shown replaced).
  store.Append({"abc", "1,5", "100", "1e-5", "1", "", "0.5", "0.9", "1.5D3", "  2e-4 ", "0.62"});
  const rtest::CommandResult inserted = qtest::Sqlcipher(
      store.dir.Dir() + "dravo.mdb", qtest::StoreKey(),
      "INSERT INTO table1 (L0, R0, R1, \"CPE1-T\", \"CPE1-P\", R2, \"CPE2-T\", \"CPE2-P\", R3, \"CPE3-T\", "
      "\"CPE3-P\", imported_at, source) VALUES ('1.2E-7', '12.5', '100', '1e-5', '1', '1500', '2.3e-5', '0.87', "
      "'', '0.5', '0.9', '2026-03-04T05:06:07Z', '/data/电池 A/第1' || char(1) || '次.mdl');");
  ASSERT_EQ(inserted.status, 0) << inserted.output;
  const std::filesystem::path file = store.dir.Path() / "history.xlsx";
  qtest::WriteFileBytes(file, "an older file in the way");

  const rtest::CommandResult run = History(store.dir.Dir(), file.string(), " --force");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "已写入参数历史（2 行）：" + file.string() + "\n");

  EXPECT_EQ(
      Describe(file),
      "sheets ['趋势图', '参数历史']\n"
      "frozen A3\n"
      "filter A2:AQ4\n"
      "header ['No.', 'imported_at', 'file', 'L0', 'R0', 'R1', 'CPE1-T', 'CPE1-P', 'R2', 'CPE2-T', 'CPE2-P', 'R3', "
      "'CPE3-T', 'CPE3-P', 'C1', 'f1', 'C2', 'f2', 'C3', 'f3', 'Rp']\n"
      // Texts that the atof rule does not read whole stay texts; "1.5D3" is 1500 by that rule, blanks
      // around a number do not matter. C3 and f3 come from R3 = 1500.
      "row [1, None, None, 'abc', '1,5', 100, 1e-05, 1, None, 0.5, 0.9, 1500, 0.0002, 0.62, 1e-05, 159.154946, "
      "None, None, 9.56215823e-05, 1.10961662, 1600]\n"
      "row [2, datetime.datetime(2026, 3, 4, 5, 6, 7), '/data/电池 A/第1\uFFFD次.mdl', 1.2e-07, 12.5, 100, 1e-05, 1, 1500, "
      "2.3e-05, 0.87, None, 0.5, 0.9, 1e-05, 159.154946, 1.39072427e-05, 7.62935539, None, None, 1600]\n"
      "quality ['L0_se', 'R0_se', 'R1_se', 'CPE1-T_se', 'CPE1-P_se', 'R2_se', 'CPE2-T_se', 'CPE2-P_se', 'R3_se', "
      "'CPE3-T_se', 'CPE3-P_se', 'L0 ▲', 'R0 ▲', 'R1 ▲', 'CPE1-T ▲', 'CPE1-P ▲', 'R2 ▲', 'CPE2-T ▲', 'CPE2-P ▲', 'R3 ▲', "
      "'CPE3-T ▲', 'CPE3-P ▲']\n"
      // Each value with the digits it was imported with: 12.5, 0.87, 1.2E-7.
      "formats yyyy-mm-dd hh:mm:ss 0.0 0.00 0.0E+00\n"
      "widths 20.7109375 40.7109375\n" +
      Charts());
  // Nothing else is left beside the workbook and the store (and the log of the store's open connection).
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(store.dir.Path())) {
    if (IsStoreLog(entry.path())) continue;
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dravo.mdb", "history.xlsx"}));
}

TEST_F(HistoryXlsxTest, AnEmptyHistoryHasTheHeaderOnlyAndAFailedWriteLeavesNothing) {
  const std::filesystem::path file = store.dir.Path() / "empty.xlsx";
  const rtest::CommandResult empty = History(store.dir.Dir(), file.string());
  ASSERT_EQ(empty.status, 0) << empty.output;
  const std::string described = Describe(file);
  EXPECT_NE(described.find("filter A2:AQ2\n"), std::string::npos) << described;
  EXPECT_EQ(described.find("row "), std::string::npos) << described;
  EXPECT_EQ(described.find("chart "), std::string::npos) << described;

  // A folder in the way of the target: the message names it, exit 1, nothing is left behind.
  std::filesystem::create_directory(store.dir.Path() / "taken.xlsx");
  const rtest::CommandResult taken = History(store.dir.Dir(), (store.dir.Path() / "taken.xlsx").string(), " --force");
  EXPECT_EQ(taken.status, 1);
  EXPECT_EQ(taken.output.rfind("无法写入文件：" + (store.dir.Path() / "taken.xlsx").string() + "（", 0), 0u)
      << taken.output;
  EXPECT_TRUE(std::filesystem::is_empty(store.dir.Path() / "taken.xlsx"));
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(store.dir.Path())) entries += IsStoreLog(entry.path()) ? 0 : 1;
  EXPECT_EQ(entries, 3u);  // dravo.mdb, empty.xlsx, taken.xlsx
}

}  // namespace
