// The fit's quality through qelmora-cli: the import keeps it with the row (an earlier store gains the
// columns), quality --json, the history CSV and the report workbook, each read back by Python.
#include <gtest/gtest.h>

#include "instrument/measured_data.h"
#include "store/store.h"
#include "tests/report/quality_synthetic.h"
#include "tests/support/shell_command.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

qtest::RunResult Cli(const qtest::TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {QELMORA_CLI, "--store", dir.Dir()});
  return qtest::Run(args, {{"LC_ALL", "C.UTF-8"}});
}

std::string Python(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/usr/bin/python3", "-c", script};
  argv.insert(argv.end(), args.begin(), args.end());
  const qtest::RunResult result = qtest::Run(argv, {});
  EXPECT_EQ(result.status, 0) << result.err;
  return result.out;
}

std::vector<std::string> Values() {
  const ParameterSet p = KnownParameters();
  return {p.begin(), p.end()};
}

TEST(QualityCli, ImportKeepsItAndJsonHistoryAndWorkbookReadItBack) {
  qtest::TempDir dir;
  // A store of the release before: provenance, no quality columns, one row.
  ASSERT_TRUE(qtest::RunStoreSql(dir.Dir() + kStoreFileName,
                                 "CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT, L0 TEXT, R0 TEXT, R1 TEXT, "
                                 "\"CPE1-T\" TEXT, \"CPE1-P\" TEXT, R2 TEXT, \"CPE2-T\" TEXT, \"CPE2-P\" TEXT, R3 TEXT, "
                                 "\"CPE3-T\" TEXT, \"CPE3-P\" TEXT, imported_at TEXT, source TEXT);"
                                 "INSERT INTO table1 (L0) VALUES ('old');"));
  const std::string model = dir.Dir() + "cell.mdl", data = dir.Dir() + "cell.csv";
  qtest::WriteFileBytes(model, qtest::ModelText(Values()));
  const MeasuredData spectrum = SyntheticSpectrum(100, 0.01, 1e5, 0.003);
  qtest::WriteFileBytes(data, SpectrumCsv(spectrum));
  const qtest::RunResult imported = Cli(dir, {"import", model});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const FitQuality expected = ComputeFitQuality(ReadMeasuredData(data), KnownParameters());
  const std::string r1se = NumberText17(*expected.estimates[kQuantityR1].se);

  // The row and its quality, in the store as the shell reads it; the earlier row keeps NULL.
  std::string rows;
  ASSERT_TRUE(qtest::RunStoreSql(dir.Dir() + kStoreFileName,
                                 "SELECT L0, data_points, kk_M IS NULL, \"R1_se\" FROM table1 ORDER BY id;", &rows));
  EXPECT_EQ(rows, "old||1|\n1e-6|100|0|" + r1se + "\n");

  const qtest::RunResult json = Cli(dir, {"quality", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"se\": " + r1se + ","), std::string::npos) << json.out;
  EXPECT_EQ(Python("import json, sys; d = json.loads(sys.argv[1]); p = d['parameters']\n"
                   "print(list(d), list(p)[:3], list(p)[-2:], d['points'], d['weighting'], d['dof'])\n"
                   "print(len(d['correlation']), {len(r) for r in d['correlation']}, sorted(d['kk']))\n"
                   "print('%.17g' % p['R1']['se'], p['R1']['ci95'][0] < p['R1']['value'] < p['R1']['ci95'][1])",
                   {json.out}),
            "['data', 'format', 'points', 'weighting', 'chi_square', 'dof', 's2', 'parameters', 'correlation', 'kk'] "
            "['L0', 'R0', 'R1'] ['f3', 'Rp'] 100 model modulus 189\n"
            "11 {11} ['M', 'max_residual_frequency', 'max_residual_percent', 'mu', 'noise_percent', "
            "'pseudo_chi_square']\n" + r1se + " True\n");
  const qtest::RunResult table = Cli(dir, {"quality"});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("Kramers-Kronig：M = "), std::string::npos) << table.out;

  // 1–10 Hz only: L0 is not determined.
  const std::string narrow = dir.Dir() + "narrow.csv";
  qtest::WriteFileBytes(narrow, SpectrumCsv(SyntheticSpectrum(40, 1, 10, 0.003)));
  const qtest::RunResult narrowJson = Cli(dir, {"quality", "--data", narrow, "--json"});
  ASSERT_EQ(narrowJson.status, 0) << narrowJson.err;
  EXPECT_EQ(Python("import json, sys; print(json.loads(sys.argv[1])['parameters']['L0'])", {narrowJson.out}),
            "{'value': 1e-06, 'determined': False}\n");
  const qtest::RunResult missing = Cli(dir, {"quality", "--data", dir.Dir() + "none.csv"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("无法读取测量数据文件 " + dir.Dir() + "none.csv："), std::string::npos) << missing.err;

  // The report of the current set: SEs and intervals, the KK figures, its residuals and chart.
  const std::string book = dir.Dir() + "report.xlsx";
  ASSERT_EQ(Cli(dir, {"report", "--xlsx", book}).status, 0);
  EXPECT_EQ(Python("import openpyxl, sys, zipfile; b = openpyxl.load_workbook(sys.argv[1]); s = b['报告']\n"
                   "r = {row[0].value: row for row in s.iter_rows()}\n"
                   "print(r['参数'][3].value, '%.17g' % r['R1'][3].value, r['R1'][4].value < r['R1'][1].value < r['R1'][5].value)\n"
                   "print(r['KK 检验'][1].value.startswith('KK 残差最大 '), b['阻抗谱'].cell(1, 18).value)\n"
                   "z = zipfile.ZipFile(sys.argv[1]); c = [n for n in z.namelist() if n.startswith('xl/charts/chart')]\n"
                   "print(len(c), sum('Kramers-Kronig' in z.read(n).decode() for n in c))",
                   {book}),
            "标准误差 " + r1se + " True\nTrue KK ΔZ′/|Z| (%)\n5 1\n");

  // A model without data beside it: its row keeps no quality. The history: today's columns, then these.
  const std::string bare = dir.Dir() + "bare.mdl";
  qtest::WriteFileBytes(bare, qtest::ModelText(Values()));
  ASSERT_EQ(Cli(dir, {"import", bare}).status, 0);
  const qtest::RunResult none = Cli(dir, {"quality"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("旁没有测量数据文件"), std::string::npos) << none.err;
  const qtest::RunResult history = Cli(dir, {"history"});
  ASSERT_EQ(history.status, 0) << history.err;
  EXPECT_EQ(Python("import csv, io, sys; rows = list(csv.reader(io.StringIO(sys.argv[1], newline='')))\n"
                   "print(rows[0][13:16], rows[0][21], rows[0][-1], len(rows[0]), set(len(r) for r in rows))\n"
                   "print(rows[2][13:16], rows[2][21], set(rows[1][13:]), set(rows[3][13:]))",
                   {history.out}),
            "['data_file', 'data_points', 'chi_square'] R1_se CPE3-P_se 30 {30}\n['" + data + "', '100', '" +
                NumberText17(*expected.chiSquare) + "'] " + r1se + " {''} {''}\n");
}

}  // namespace
