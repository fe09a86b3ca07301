// qelmora-cli init-store and history, run as child processes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/store/store_test_util.h"

namespace {

using storetest::RunCommand;
using storetest::ShellQuote;

storetest::CommandResult Cli(const qtest::TempDir& dir, const std::string& arguments) {
  return RunCommand(ShellQuote(QELMORA_CLI) + " --store " + ShellQuote(dir.Path().string()) + " " + arguments);
}

const char* const kHeader = "L0,R0,R1,CPE1-T,CPE1-P,R2,CPE2-T,CPE2-P,R3,CPE3-T,CPE3-P,imported_at,source\r\n";

TEST(StoreCli, InitStoreCreatesOnceAndRefusesToOverwrite) {
  qtest::TempDir dir;
  const auto created = Cli(dir, "init-store");
  EXPECT_EQ(created.status, 0) << created.output;
  EXPECT_EQ(created.output, "已创建数据库：" + dir.Dir() + "dravo.mdb\n");
  // A real keyed store with an empty table1, as the sqlcipher shell sees it.
  const auto count = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "SELECT count(*) FROM table1;");
  EXPECT_EQ(count.output, "0\n");

  const auto history = Cli(dir, "history");
  EXPECT_EQ(history.status, 0) << history.output;
  EXPECT_EQ(history.output, kHeader);

  storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "INSERT INTO table1 (L0) VALUES ('kept');");
  const std::string before = qtest::ReadFileBytes(dir.Path() / "dravo.mdb");
  const auto again = Cli(dir, "init-store");
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.output, "数据库文件已存在，未覆盖：" + dir.Dir() + "dravo.mdb\n");
  EXPECT_EQ(qtest::ReadFileBytes(dir.Path() / "dravo.mdb"), before);

  EXPECT_EQ(Cli(dir, "init-store extra").status, 2);
  EXPECT_EQ(Cli(dir, "history extra").status, 2);
}

TEST(StoreCli, HistoryIsCsvInReadOrder) {
  qtest::TempDir dir;
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  const auto written = storetest::Sqlcipher(
      dir.Dir() + "dravo.mdb", storetest::StoreKey(),
      "INSERT INTO table1 (L0, R0, R1, \"CPE1-T\", \"CPE1-P\", R2, \"CPE2-T\", \"CPE2-P\", R3, \"CPE3-T\", \"CPE3-P\", "
      "imported_at, source) "
      "VALUES ('1.5E-3', '2', '3', '4', '5', '6', '7', '8', '9', '10', '11', '2026-01-02T03:04:05Z', '/data/a.mdl');"
      "INSERT INTO table1 (L0, R0, R1, \"CPE3-P\") VALUES ('a,b', 'say \"hi\"', 'two' || char(13, 10) || 'lines', "
      "'lf' || char(10));"
      "INSERT INTO table1 (R2) VALUES ('');");
  ASSERT_EQ(written.status, 0) << written.output;

  const auto history = Cli(dir, "history");
  EXPECT_EQ(history.status, 0) << history.output;
  EXPECT_EQ(history.output, std::string(kHeader) +
                                "1.5E-3,2,3,4,5,6,7,8,9,10,11,2026-01-02T03:04:05Z,/data/a.mdl\r\n"
                                "\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",,,,,,,,\"lf\n\",,\r\n"
                                ",,,,,,,,,,,,\r\n");

  // An independent CSV reader gets the same fields back.
  const auto parsed = RunCommand(
      ShellQuote(QELMORA_CLI) + " --store " + ShellQuote(dir.Path().string()) +
      " history | python3 -c 'import csv,sys; rows=list(csv.reader(sys.stdin, strict=True)); "
      "print(len(rows), rows[2][1], repr(rows[2][2]), repr(rows[2][10]), rows[3] == [\"\"]*13)'");
  EXPECT_EQ(parsed.output, "4 say \"hi\" 'two\\r\\nlines' 'lf\\n' True\n");
}

TEST(StoreCli, HistoryWithoutStoreFails) {
  qtest::TempDir dir;
  const auto history = Cli(dir, "history");
  EXPECT_EQ(history.status, 1);
  EXPECT_EQ(history.output, "连接数据库失败!\n错误信息：未指定的错误\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
