// When and from which file: a store of the earlier release (table1 without the provenance columns)
// is read as it is and gets the columns on its first write; the command-line tool imports into it.
// The store is read back with the sqlcipher shell.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>

#include "tests/store/store_test_util.h"

namespace {

using storetest::RunCommand;
using storetest::ShellQuote;

storetest::CommandResult Cli(const qtest::TempDir& dir, const std::string& arguments) {
  return RunCommand(ShellQuote(QELMORA_CLI) + " --store " + ShellQuote(dir.Path().string()) + " " + arguments);
}

storetest::CommandResult Sql(const qtest::TempDir& dir, const std::string& sql) {
  return storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), sql);
}

// The current UTC time in the stored form.
std::string UtcNow() {
  // The same clock as the import's (time() reads a coarser one that may lag it across a second).
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// table1 as the earlier release created it, with two rows.
void MakeEarlierStore(const qtest::TempDir& dir) {
  const auto made = Sql(dir,
                        "CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT, L0 TEXT, R0 TEXT, R1 TEXT, "
                        "\"CPE1-T\" TEXT, \"CPE1-P\" TEXT, R2 TEXT, \"CPE2-T\" TEXT, \"CPE2-P\" TEXT, R3 TEXT, "
                        "\"CPE3-T\" TEXT, \"CPE3-P\" TEXT);"
                        "INSERT INTO table1 (L0, R0) VALUES ('old-1', '1');"
                        "INSERT INTO table1 (L0, R0) VALUES ('old-2', '2');");
  ASSERT_EQ(made.status, 0) << made.output;
}

TEST(StoreProvenance, AnEarlierStoreIsReadAsItIsAndMigratedOnItsFirstWrite) {
  qtest::TempDir dir;
  MakeEarlierStore(dir);
  const std::string bytes = qtest::ReadFileBytes(dir.Path() / "dravo.mdb");

  // Reading changes nothing: the history shows the earlier rows with empty provenance.
  const auto history = Cli(dir, "history");
  EXPECT_EQ(history.status, 0) << history.output;
  EXPECT_EQ(history.output,
            "L0,R0,R1,CPE1-T,CPE1-P,R2,CPE2-T,CPE2-P,R3,CPE3-T,CPE3-P,imported_at,source,"
            "data_file,data_points,chi_square,kk_M,kk_mu,kk_noise_percent,L0_se,R0_se,R1_se,CPE1-T_se,CPE1-P_se,R2_se,CPE2-T_se,CPE2-P_se,R3_se,CPE3-T_se,CPE3-P_se\r\n"
            "old-1,1,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n"
            "old-2,2,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n");
  EXPECT_EQ(qtest::ReadFileBytes(dir.Path() / "dravo.mdb"), bytes);

  // The first import adds the columns and writes them in its row; the earlier rows keep NULL.
  const std::string model = (dir.Path() / "cell 7.mdl").string();
  qtest::WriteFileBytes(model, qtest::ModelText({"1e-7", "10", "20", "1e-5", "0.9", "30", "2e-5", "0.8", "40",
                                                 "3e-5", "0.7"}));
  const std::string before = UtcNow();
  const auto imported = Cli(dir, "import " + ShellQuote(model));
  const std::string after = UtcNow();
  EXPECT_EQ(imported.status, 0) << imported.output;

  // (The shell's CSV quotes some texts: the path is compared in SQL.)
  const auto rows = Sql(dir, "SELECT id, L0, R0, R3, imported_at, source IS '" + model +
                                 "' FROM table1 ORDER BY rowid;");
  ASSERT_EQ(rows.status, 0) << rows.output;
  const std::regex expected(
      "1,old-1,1,<NULL>,<NULL>,0\n"
      "2,old-2,2,<NULL>,<NULL>,0\n"
      "3,1e-7,10,40,20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]Z,1\n");
  ASSERT_TRUE(std::regex_match(rows.output, expected)) << rows.output;
  // The stored form sorts as the time does.
  const std::string importedAt = rows.output.substr(rows.output.rfind('Z') - 19, 20);
  EXPECT_LE(before, importedAt);
  EXPECT_GE(after, importedAt);

  // A second import finds the columns in place.
  EXPECT_EQ(Cli(dir, "import " + ShellQuote(model)).status, 0);
  const auto count = Sql(dir, "SELECT count(*), count(imported_at), count(source) FROM table1;");
  EXPECT_EQ(count.output, "4,2,2\n");
}

}  // namespace
