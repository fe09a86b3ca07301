// qelmora-cli report, run as a child process on a real store.
#include <gtest/gtest.h>

#include <string>

#include "report/report.h"
#include "tests/report/report_test_util.h"

namespace {

rtest::CommandResult Cli(const std::string& storeDir, const std::string& arguments, bool withStderr = true) {
  return rtest::RunCommand(rtest::ShellQuote(QELMORA_CLI) + " --store " + rtest::ShellQuote(storeDir) + " report " + arguments +
                           (withStderr ? " 2>&1" : " 2>/dev/null"));
}

class ReportCliTest : public ::testing::Test {
 protected:
  qtest::ScriptedMessageBoxes boxes;  // keeps the store's own messages out of the test output
  rtest::ScratchStore store;
};

const ParameterSet kRow = {"1.2E-7", "4,75 \"Ohm\"", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};

TEST_F(ReportCliTest, CsvHoldsBothRowsAsWrittenToTheCells) {
  store.Append({"9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9"});
  store.Append(kRow);
  const rtest::CommandResult run = Cli(store.dir.Dir(), "--csv", false);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "L0,R0,R1,CPE1-T,CPE1-P,C1,f1,R2,CPE2-T,CPE2-P,C2,f2,R3,CPE3-T,CPE3-P,C3,f3,Rp\r\n"
            "1.2E-7,\"4,75 \"\"Ohm\"\"\",100,1e-5,1,1.e-005,159.154946,,0.5,0.9,,,3210.5,4.56E-4,0.62,"
            "5.76001111e-004,8.60645186e-002,3310.5\r\n");
}

TEST_F(ReportCliTest, XlsxIsWrittenToTheFileGiven) {
  store.Append(kRow);
  const std::filesystem::path file = store.dir.Path() / "out.xlsx";
  qtest::WriteFileBytes(file, "an older file in the way");
  const rtest::CommandResult run = Cli(store.dir.Dir(), "--xlsx " + rtest::ShellQuote(file.string()) + " --force");
  ASSERT_EQ(run.status, 0) << run.output;

  const rtest::XlsxBook book = rtest::ReadXlsx(file);
  ASSERT_EQ(book.sheetNames, (std::vector<std::string>{"Sheet1", "报告", "阻抗谱", "阻抗谱图"}));
  EXPECT_EQ(book.cells.size(), 33u);
  EXPECT_EQ(book.cells.at("B2").text, "4,75 \"Ohm\"");
  EXPECT_EQ(book.cells.at("F2").type, 'n');
  EXPECT_EQ(book.cells.at("F2").number, 1e-5);
  EXPECT_EQ(book.cells.at("R1").text, "Rp");
  // Nothing else left beside it.
  EXPECT_EQ(rtest::FilesStartingWith(store.dir.Path(), "out.xlsx").size(), 1u);
}

TEST_F(ReportCliTest, EmptyTableIsAStoreFailureAndWritesNothing) {
  const std::filesystem::path file = store.dir.Path() / "out.xlsx";
  const rtest::CommandResult run = Cli(store.dir.Dir(), "--xlsx " + rtest::ShellQuote(file.string()));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find(std::string("参数历史中还没有数据，请先导入模型文件")), std::string::npos) << run.output;
  EXPECT_TRUE(rtest::FilesStartingWith(store.dir.Path(), "out.xlsx").empty());

  const rtest::CommandResult csv = Cli(store.dir.Dir(), "--csv", false);
  EXPECT_EQ(csv.status, 1);
  EXPECT_EQ(csv.output.find("L0,"), std::string::npos) << csv.output;
}

TEST_F(ReportCliTest, MissingStoreIsReportedAndWritesNothing) {
  qtest::TempDir elsewhere;
  const std::filesystem::path file = elsewhere.Path() / "out.xlsx";
  const rtest::CommandResult run = Cli(elsewhere.Dir(), "--xlsx " + rtest::ShellQuote(file.string()));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("连接数据库失败!"), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(ReportCliTest, UnwritableTargetIsReported) {
  store.Append(kRow);
  const std::filesystem::path file = store.dir.Path() / "no-such-dir" / "out.xlsx";
  const rtest::CommandResult run = Cli(store.dir.Dir(), "--xlsx " + rtest::ShellQuote(file.string()));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("无法写入文件"), std::string::npos) << run.output;
}

TEST_F(ReportCliTest, BadArgumentsPrintUsage) {
  for (const char* arguments : {"", "--csv extra", "--xlsx", "--xlsx ''", "--bogus", "--csv --xlsx x.xlsx"}) {
    const rtest::CommandResult run = Cli(store.dir.Dir(), arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.output.find("usage:"), std::string::npos) << arguments << ": " << run.output;
  }
}

}  // namespace
