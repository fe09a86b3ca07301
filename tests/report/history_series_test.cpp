// The history's filters, series and flags on a real store of three interleaved series: the CSV of
// each filter against a filter written independently in Python over the whole CSV; the workbook read
// back with openpyxl and its chart XML from the package.
#include <gtest/gtest.h>

#include <string>

#include "history/history_xlsx.h"
#include "tests/report/report_test_util.h"

namespace {

// Row i of series i % 3, a day apart; R1 and its standard error as given (empty: none), the rest fixed.
void AddRow(int i, const std::string& r1, const std::string& se) {
  static const char* const kFolders[] = {"/lab/cellA/", "/lab/cellB/", "/lab/old/cellA/"};
  std::unique_ptr<PendingRow> row = TheParameterStore().StartRow();
  const ParameterSet values = {"1e-7", "10.5", r1, "2.5e-5", "0.78412", "200", "1e-4", "0.9", "300", "1e-3", "0.5"};
  for (std::size_t p = 0; p < kParameterCount; ++p) row->Put(kParameterColumns[p], values[p]);
  QualityTexts quality;
  quality[kQualityFirstSe + std::size_t{kR1}] = se;
  quality[kQualityFirstSe + std::size_t{kR0}] = "0.01";
  row->PutQuality(quality);
  row->Save({Format("2026-01-%02dT%02d:00:00Z", i / 2 + 1, i % 2 * 23), Format("%srun%03d.mdl", kFolders[i % 3], i)});
}

rtest::CommandResult Cli(const std::string& storeDir, const std::string& args) {
  return rtest::RunCommand(rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(storeDir) + " history " +
                           args + " 2>&1");
}

std::string Python(const std::string& script, const std::string& args) {
  const rtest::CommandResult run = rtest::RunCommand("/usr/bin/python3 -c " + rtest::ShellQuote(script) + " " + args + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.output;
  return run.output;
}

class HistorySeriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Series A: 100, 100.5 (within 2·√(0.2²+0.2²) = 0.566), 101.2 (a change), no SE, 90 (after no SE),
    // 80 (a change). Series B and the other folder's cellA change by 50 each time with SE 1: flagged.
    const char* const a[][2] = {{"100", "0.2"}, {"100.5", "0.2"}, {"101.2", "0.2"}, {"101.2", ""}, {"90", "0.2"}, {"80", "0.2"}};
    for (int i = 0; i < 18; ++i) {
      if (i % 3 == 0) AddRow(i, a[i / 3][0], a[i / 3][1]);
      else AddRow(i, std::to_string(100 + 50 * (i / 3)), "1");
    }
  }
  qtest::ScriptedMessageBoxes boxes;
  rtest::ScratchStore store;
};

TEST_F(HistorySeriesTest, EachFilterGivesExactlyTheRowsAnIndependentFilterGives) {
  const rtest::CommandResult all = Cli(store.dir.Dir(), "");
  ASSERT_EQ(all.status, 0) << all.output;
  const std::string whole = (store.dir.Path() / "whole.csv").string();
  qtest::WriteFileBytes(whole, all.output);
  // argv: the whole CSV, the filtered one, then the filter as (name, value) pairs: "same" and the rows
  // when the filtered CSV holds exactly the rows of the whole that pass the filter, in order.
  static const char* const kCompare = R"PY(
import csv, fnmatch, sys
whole, got = (list(csv.reader(open(f, newline="", encoding="utf-8"))) for f in sys.argv[1:3])
f = dict(zip(sys.argv[3::2], sys.argv[4::2]))
want = whole[:1] + [r for r in whole[1:] if fnmatch.fnmatchcase(r[12], f.get("--source", "*"))
                    and f.get("--since", "") <= r[11][:10] <= f.get("--until", "9999")]
print("same" if got == want else "%s != %s" % (got, want), len(got) - 1)
)PY";
  const std::pair<std::string, const char*> filters[] = {
      {"--source '*/cellA/*'", "same 12\n"},    {"--source '/lab/cell?/run00[0-5].mdl'", "same 4\n"},
      {"--since 2026-01-04", "same 12\n"},      {"--until 2026-01-03", "same 6\n"},
      {"--since 2026-01-02 --until 2026-01-05 --source '/lab/cellA/*'", "same 3\n"}, {"--source '*.txt'", "same 0\n"}};
  const std::string got = (store.dir.Path() / "got.csv").string();
  for (const auto& [filter, expected] : filters) {
    const rtest::CommandResult filtered = Cli(store.dir.Dir(), filter + " 2>/dev/null");
    ASSERT_EQ(filtered.status, 0) << filter << filtered.output;
    qtest::WriteFileBytes(got, filtered.output);
    EXPECT_EQ(Python(kCompare, rtest::ShellQuote(whole) + " " + rtest::ShellQuote(got) + " " + filter), expected) << filter;
  }
  // What the store cannot answer, or a date that is none: refused with the reason.
  const std::pair<std::string, std::string> refused[] = {
      {"--by alice", "--by 只适用于实验室数据库"}, {"--workstation a@b --xlsx x.xlsx", "--workstation 只适用于实验室数据库"},
      {"--since 2026-13-01", "--since 需要 ISO 日期（YYYY-MM-DD）：2026-13-01"}};
  for (const auto& [args, message] : refused) {
    const rtest::CommandResult run = Cli(store.dir.Dir(), args);
    EXPECT_NE(run.status, 0) << args;
    EXPECT_EQ(run.output.rfind(message, 0), 0u) << run.output;
  }
}

TEST_F(HistorySeriesTest, FlagsErrorBarsAndDigitsInTheWorkbook) {
  const std::string file = (store.dir.Path() / "h.xlsx").string();
  const rtest::CommandResult run = Cli(store.dir.Dir(), "--xlsx " + rtest::ShellQuote(file));
  ASSERT_EQ(run.status, 0) << run.output;
  static const char* const kRead = R"PY(
import re, sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print([ws.title for ws in wb.worksheets], wb.worksheets[0]["A1"].value, wb.worksheets[0]["A2"].value)
ws = wb["参数历史"]
print(ws["A1"].value)
print([c.value for c in ws[2]][:3], ws["H3"].number_format, ws["F3"].number_format, ws["X2"].value, ws["X3"].number_format)
for r in ws.iter_rows(min_row=3):
    flags = [c.column_letter for c in r[32:] if c.value == "▲"]
    if flags: print(r[0].value, r[2].value, flags, r[5].fill.fgColor.rgb)
z = zipfile.ZipFile(sys.argv[1])
charts = sorted((n for n in z.namelist() if n.startswith("xl/charts/")), key=lambda n: int(re.sub(r"\D", "", n)))
print(len(charts), [b.id for b in wb.worksheets[0].row_breaks.brk][:3], len(wb.worksheets[0].row_breaks.brk))
for n in charts[:3] + charts[-1:]:
    x = z.read(n).decode()
    print(re.findall(r"<a:t>([^<]*)</a:t>", x)[0], re.findall(r'<c:errValType val="(\w+)"/>', x),
          re.findall(r"<c:plus><c:numRef><c:f>([^<]*)</c:f>", x), re.findall(r'<c:(?:min|max) val="([^"]*)"/>', x)[2:],
          re.findall(r'formatCode="([^"]*)"', x)[:1])
)PY";
  EXPECT_EQ(Python(kRead, rtest::ShellQuote(file)),
            "['趋势图', '参数历史'] 参数历史 18 行，3 个系列（模型文件的文件夹）；12 处变化大于前后两次导入合并标准误差的两倍，标为 ▲\n"
            "18 行，3 个系列（模型文件的文件夹）；12 处变化大于前后两次导入合并标准误差的两倍，标为 ▲\n"
            // The digits as imported: 0.78412, 100, 0.2.
            "['No.', 'imported_at', 'file'] 0.00000 0 R1_se 0.0\n"
            // Series A at its rows 7 (100.5 → 101.2) and 16 (90 → 80), not at 4 (within 2·SE), 10 (no SE)
            // or 13 (after no SE); the other two series from their second row on; R0 never (no change).
            "5 /lab/cellB/run004.mdl ['AI'] FFFFEB9C\n6 /lab/old/cellA/run005.mdl ['AI'] FFFFEB9C\n"
            "7 /lab/cellA/run006.mdl ['AI'] FFFFEB9C\n8 /lab/cellB/run007.mdl ['AI'] FFFFEB9C\n"
            "9 /lab/old/cellA/run008.mdl ['AI'] FFFFEB9C\n11 /lab/cellB/run010.mdl ['AI'] FFFFEB9C\n"
            "12 /lab/old/cellA/run011.mdl ['AI'] FFFFEB9C\n14 /lab/cellB/run013.mdl ['AI'] FFFFEB9C\n"
            "15 /lab/old/cellA/run014.mdl ['AI'] FFFFEB9C\n16 /lab/cellA/run015.mdl ['AI'] FFFFEB9C\n"
            "17 /lab/cellB/run016.mdl ['AI'] FFFFEB9C\n18 /lab/old/cellA/run017.mdl ['AI'] FFFFEB9C\n"
            // One chart per quantity: error bars from the standard errors' cells, the value axis fitted
            // to the values ± their standard errors with 5 % beside, a date axis.
            // One chart to a printed page: a break after each.
            "18 [27, 51, 75] 17\n"
            "R0 ['cust'] [\"'参数历史'!$W$3:$W$20\"] ['10.511', '10.489'] ['yyyy-mm-dd']\n"
            "R1 ['cust'] [\"'参数历史'!$X$3:$X$20\"] ['364.56', '66.23999999999999'] ['yyyy-mm-dd']\n"
            "R2 ['cust'] [\"'参数历史'!$AA$3:$AA$20\"] ['210', '190'] ['yyyy-mm-dd']\n"
            "L0 ['cust'] [\"'参数历史'!$V$3:$V$20\"] ['1.05E-07', '9.499999999999999E-08'] ['yyyy-mm-dd']\n");
}

TEST_F(HistorySeriesTest, AHistoryLongerThanASheetContinuesOnTheNext) {
  // The real limit: a worksheet's 1,048,576 rows less the note and the headers.
  EXPECT_EQ(kHistoryRowsPerSheet, 1048576 - 2);
  const std::string file = (store.dir.Path() / "long.xlsx").string();
  HistoryWorkbookRequest request;
  request.rowsPerSheet = 7;
  EXPECT_EQ(SaveHistoryWorkbook(file, true, request), 18);
  static const char* const kRead = R"PY(
import re, sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
for ws in wb.worksheets[1:]:
    print(ws.title, ws["A2"].value, [r[0].value for r in ws.iter_rows(min_row=3)])
x = zipfile.ZipFile(sys.argv[1]).read("xl/charts/chart2.xml").decode()
print(re.findall(r"<c:yVal><c:numRef><c:f>([^<]*)</c:f>", x))
)PY";
  EXPECT_EQ(Python(kRead, rtest::ShellQuote(file)),
            "参数历史 No. [1, 2, 3, 4, 5, 6, 7]\n参数历史 (2) No. [8, 9, 10, 11, 12, 13, 14]\n参数历史 (3) No. [15, 16, 17, 18]\n"
            "[\"'参数历史'!$F$3:$F$9\", \"'参数历史 (2)'!$F$3:$F$9\", \"'参数历史 (3)'!$F$3:$F$6\"]\n");
}

TEST_F(HistorySeriesTest, TheDialogShowsTheSeriesOfTheModelFilesFolderAndTheWholeHistoryBeside) {
  const std::string file = (store.dir.Path() / "dialog.xlsx").string();
  EXPECT_EQ(SaveHistoryWorkbook(file, true, SeriesRequest("/lab/cellA/run099.mdl")), 6);
  static const char* const kRead = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print([ws.title for ws in wb.worksheets], wb.worksheets[0]["A1"].value)
for ws in wb.worksheets[1:]:
    print(ws["A1"].value, [(r[0].value, r[2].value) for r in ws.iter_rows(min_row=3)][:4])
)PY";
  // The series: the rest of each path after the folder, its own flags (rows 7 and 16 of the store).
  EXPECT_EQ(Python(kRead, rtest::ShellQuote(file)),
            "['趋势图', '参数历史', '全部历史'] /lab/cellA/\n"
            "6 行，1 个系列（模型文件的文件夹）；2 处变化大于前后两次导入合并标准误差的两倍，标为 ▲；筛选：文件夹 /lab/cellA/ "
            "[(1, 'run000.mdl'), (2, 'run003.mdl'), (3, 'run006.mdl'), (4, 'run009.mdl')]\n"
            "18 行，3 个系列（模型文件的文件夹）；12 处变化大于前后两次导入合并标准误差的两倍，标为 ▲ "
            "[(1, '/lab/cellA/run000.mdl'), (2, '/lab/cellB/run001.mdl'), (3, '/lab/old/cellA/run002.mdl'), (4, "
            "'/lab/cellA/run003.mdl')]\n");
}

}  // namespace
