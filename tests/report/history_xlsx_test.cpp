// qelmora-cli history --xlsx, run as a child process on a real store; the workbook is read back with
// openpyxl, its charts from the package's XML.
#include <gtest/gtest.h>

#include <string>

#include "tests/report/report_test_util.h"

namespace {

rtest::CommandResult History(const std::string& storeDir, const std::string& target) {
  return rtest::RunCommand(rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(storeDir) +
                           " history --xlsx " + rtest::ShellQuote(target) + " 2>&1");
}

// What a reader of the workbook sees: one line per fact, "name<TAB>value".
std::string Describe(const std::filesystem::path& file) {
  static const char* const kScript = R"PY(
import re, sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print("sheets", [ws.title for ws in wb.worksheets])
ws = wb.worksheets[0]
print("frozen", ws.freeze_panes)
print("filter", ws.auto_filter.ref)
def shown(c):
    return c.value if not isinstance(c.value, float) else float("%.9g" % c.value)
print("header", [c.value for c in ws[1]][:21])
for row in ws.iter_rows(min_row=2, max_col=21):
    print("row", [shown(c) for c in row])
# What the charts plot: hidden columns after the table.
print("plotted", [c.value for c in ws[1]][21:], ws.column_dimensions["V"].hidden)
for row in ws.iter_rows(min_row=2, min_col=22):
    print("plotted", [shown(c) for c in row])
print("formats", ws["B3"].number_format, ws["E3"].number_format, ws["H3"].number_format)
print("widths", ws.column_dimensions["B"].width, ws.column_dimensions["C"].width)
z = zipfile.ZipFile(sys.argv[1])
for name in sorted(n for n in z.namelist() if n.startswith("xl/charts/chart")):
    xml = z.read(name).decode()
    print("chart", re.findall(r"<c:f>([^<]*)</c:f>", xml))
    print("titles", re.findall(r"<a:t>([^<]*)</a:t>", xml), xml.count('<c:logBase val="10"/>'),
          re.findall(r'<c:majorUnit val="([^"]*)"/>', xml), re.findall(r'<c:dispBlanksAs val="([^"]*)"/>', xml) or ["gap"],  # a gap unless said otherwise
          re.findall(r'<c:plotVisOnly val="([^"]*)"/>', xml))
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

// The three charts: each plots its columns over the row number, with a logarithmic value axis, axis
// titles, whole-number ticks on x and gaps where a value is missing.
std::string Charts() {
  const std::string sheet = "'参数历史'!$";
  std::string text;
  const std::pair<const char*, std::vector<std::string>> charts[] = {
      {"['电阻 R0, R1, R2, R3, Rp', 'No.（导入顺序）', 'R (Ω)']", {"V", "W", "X", "Y", "Z"}},
      {"['等效电容 C1, C2, C3', 'No.（导入顺序）', 'C (F)']", {"AA", "AB", "AC"}},
      {"['特征频率 f1, f2, f3', 'No.（导入顺序）', 'f (Hz)']", {"AD", "AE", "AF"}}};
  for (const auto& [titles, columns] : charts) {
    std::string refs;
    for (const std::string& c : columns) {
      refs += std::string(refs.empty() ? "" : ", ") + "\"" + sheet + c + "$1\", \"" + sheet + "A$2:$A$3\", \"" + sheet + c +
              "$2:$" + c + "$3\"";
    }
    text += "chart [" + refs + "]\ntitles " + titles + " 1 ['1'] ['gap'] []\n";  // no plotVisOnly: hidden cells plotted
  }
  return text;
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

  const rtest::CommandResult run = History(store.dir.Dir(), file.string());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "已写入参数历史（2 行）：" + file.string() + "\n");

  EXPECT_EQ(
      Describe(file),
      "sheets ['参数历史']\n"
      "frozen A2\n"
      "filter A1:U3\n"
      "header ['No.', 'imported_at', 'file', 'L0', 'R0', 'R1', 'CPE1-T', 'CPE1-P', 'R2', 'CPE2-T', 'CPE2-P', 'R3', "
      "'CPE3-T', 'CPE3-P', 'C1', 'f1', 'C2', 'f2', 'C3', 'f3', 'Rp']\n"
      // Texts that the atof rule does not read whole stay texts; "1.5D3" is 1500 by that rule, blanks
      // around a number do not matter. C3 and f3 come from R3 = 1500.
      "row [1, None, None, 'abc', '1,5', 100, 1e-05, 1, None, 0.5, 0.9, 1500, 0.0002, 0.62, 1e-05, 159.154946, "
      "None, None, 9.56215823e-05, 1.10961662, 1600]\n"
      "row [2, datetime.datetime(2026, 3, 4, 5, 6, 7), '第1\uFFFD次.mdl', 1.2e-07, 12.5, 100, 1e-05, 1, 1500, 2.3e-05, "
      "0.87, None, 0.5, 0.9, 1e-05, 159.154946, 1.39072427e-05, 7.62935539, None, None, 1600]\n"
      // Positive numbers only, a gap for anything else: R0, R1, R2, R3, Rp, C1, C2, C3, f1, f2, f3.
      "plotted ['R0', 'R1', 'R2', 'R3', 'Rp', 'C1', 'C2', 'C3', 'f1', 'f2', 'f3'] True\n"
      "plotted [None, 100, None, 1500, 1600, 1e-05, None, 9.56215823e-05, 159.154946, None, 1.10961662]\n"
      "plotted [12.5, 100, 1500, None, 1600, 1e-05, 1.39072427e-05, None, 159.154946, 7.62935539, None]\n"
      "formats yyyy-mm-dd hh:mm:ss 0.0000E+00 0.0000\n"
      "widths 20.7109375 28.7109375\n" +
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
  EXPECT_NE(described.find("filter A1:U1\n"), std::string::npos) << described;
  EXPECT_EQ(described.find("row "), std::string::npos) << described;
  EXPECT_EQ(described.find("chart "), std::string::npos) << described;

  // A folder in the way of the target: the message names it, exit 1, nothing is left behind.
  std::filesystem::create_directory(store.dir.Path() / "taken.xlsx");
  const rtest::CommandResult taken = History(store.dir.Dir(), (store.dir.Path() / "taken.xlsx").string());
  EXPECT_EQ(taken.status, 1);
  EXPECT_EQ(taken.output.rfind("无法写入文件：" + (store.dir.Path() / "taken.xlsx").string() + "（", 0), 0u)
      << taken.output;
  EXPECT_TRUE(std::filesystem::is_empty(store.dir.Path() / "taken.xlsx"));
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(store.dir.Path())) entries += IsStoreLog(entry.path()) ? 0 : 1;
  EXPECT_EQ(entries, 3u);  // dravo.mdb, empty.xlsx, taken.xlsx
}

}  // namespace
