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

const char* const kHeader = "L0,R0,R1,CPE1-T,CPE1-P,R2,CPE2-T,CPE2-P,R3,CPE3-T,CPE3-P,imported_at,source"
    ",data_file,data_points,chi_square,kk_M,kk_mu,kk_noise_percent,L0_se,R0_se,R1_se,CPE1-T_se,CPE1-P_se,R2_se,CPE2-T_se,CPE2-P_se,R3_se,CPE3-T_se,CPE3-P_se\r\n";

TEST(StoreCli, InitStoreCreatesOnceAndRefusesToOverwrite) {
  qtest::TempDir dir;
  const auto created = Cli(dir, "init-store");
  EXPECT_EQ(created.status, 0) << created.output;
  EXPECT_EQ(created.output, "已创建数据库：" + dir.Dir() + "dravo.mdb\n");
  // A real keyed store with an empty table1, as the sqlcipher shell sees it.
  const auto count = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "SELECT count(*) FROM table1;");
  EXPECT_EQ(count.output, "0\n");
  // Without the key the file is no database; the table as the program makes it.
  EXPECT_NE(storetest::Sqlcipher(dir.Dir() + "dravo.mdb", "", "SELECT count(*) FROM table1;").status, 0);
  EXPECT_EQ(storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "SELECT sql FROM sqlite_master;").output,
            "\"CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT, \"\"L0\"\" TEXT, \"\"R0\"\" TEXT, "
            "\"\"R1\"\" TEXT, \"\"CPE1-T\"\" TEXT, \"\"CPE1-P\"\" TEXT, \"\"R2\"\" TEXT, \"\"CPE2-T\"\" TEXT, "
            "\"\"CPE2-P\"\" TEXT, \"\"R3\"\" TEXT, \"\"CPE3-T\"\" TEXT, \"\"CPE3-P\"\" TEXT, "
            "\"\"imported_at\"\" TEXT, \"\"source\"\" TEXT"
            ", \"\"data_file\"\" TEXT, \"\"data_points\"\" TEXT, \"\"chi_square\"\" TEXT, \"\"kk_M\"\" TEXT, "
            "\"\"kk_mu\"\" TEXT, \"\"kk_noise_percent\"\" TEXT, \"\"L0_se\"\" TEXT, \"\"R0_se\"\" TEXT, "
            "\"\"R1_se\"\" TEXT, \"\"CPE1-T_se\"\" TEXT, \"\"CPE1-P_se\"\" TEXT, \"\"R2_se\"\" TEXT, "
            "\"\"CPE2-T_se\"\" TEXT, \"\"CPE2-P_se\"\" TEXT, \"\"R3_se\"\" TEXT, \"\"CPE3-T_se\"\" TEXT, "
            "\"\"CPE3-P_se\"\" TEXT)\"\n\"CREATE TABLE sqlite_sequence(name,seq)\"\n");

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
                                "1.5E-3,2,3,4,5,6,7,8,9,10,11,2026-01-02T03:04:05Z,/data/a.mdl,,,,,,,,,,,,,,,,,\r\n"
                                "\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",,,,,,,,\"lf\n\",,,,,,,,,,,,,,,,,,,\r\n"
                                ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n");

  // An independent CSV reader gets the same fields back.
  const auto parsed = RunCommand(
      ShellQuote(QELMORA_CLI) + " --store " + ShellQuote(dir.Path().string()) +
      " history | python3 -c 'import csv,sys; rows=list(csv.reader(sys.stdin, strict=True)); "
      "print(len(rows), rows[2][1], repr(rows[2][2]), repr(rows[2][10]), rows[3] == [\"\"]*30)'");
  EXPECT_EQ(parsed.output, "4 say \"hi\" 'two\\r\\nlines' 'lf\\n' True\n");
}

TEST(StoreCli, HistoryWithoutStoreFails) {
  qtest::TempDir dir;
  const auto history = Cli(dir, "history");
  EXPECT_EQ(history.status, 1);
  EXPECT_EQ(history.output, "连接数据库失败!\n错误信息：文件夹 " + dir.Dir() +
                                " 中没有参数数据库 dravo.mdb。新建一个：qelmora-cli --store " + dir.Dir() + " init-store\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(StoreCli, BackupIsAConsistentCopyInANewFileThatIsNeverReplaced) {
  qtest::TempDir dir;
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  ASSERT_EQ(storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "INSERT INTO table1 (L0) VALUES ('one'), ('two');").status, 0);

  const std::string copy = dir.Dir() + "copy of dravo.mdb";
  const auto made = Cli(dir, "backup " + ShellQuote(copy));
  EXPECT_EQ(made.status, 0) << made.output;
  const std::string nulls = ",<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n";
  EXPECT_EQ(storetest::DumpTable(copy), "one" + nulls + "two" + nulls);
  EXPECT_EQ(storetest::Sqlcipher(copy, storetest::StoreKey(), "PRAGMA integrity_check;").output, "ok\n");
  // The copy stands alone: nothing beside it, and it is keyed like the store.
  EXPECT_FALSE(std::filesystem::exists(copy + "-wal"));
  EXPECT_NE(storetest::Sqlcipher(copy, "", "SELECT count(*) FROM table1;").status, 0);

  // An existing file, even a dangling link, is never replaced.
  std::filesystem::create_symlink(dir.Dir() + "nowhere", dir.Dir() + "link");
  const std::string before = qtest::ReadFileBytes(copy);
  for (const std::string& taken : {copy, dir.Dir() + "link"}) {
    const auto refused = Cli(dir, "backup " + ShellQuote(taken));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output, "文件已存在，未覆盖：" + taken + "\n");
  }
  EXPECT_EQ(qtest::ReadFileBytes(copy), before);
  EXPECT_FALSE(std::filesystem::exists(dir.Dir() + "nowhere"));
  EXPECT_EQ(Cli(dir, "backup").status, 2);
}

}  // namespace
