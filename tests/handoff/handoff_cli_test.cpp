// qelmora-cli handoff, run as a separate process from a copy of the tool in a program directory of
// the test (the simulator is looked for beside the program, the store given with --store).
#include <gtest/gtest.h>

#include "app/run_store.h"
#include "store/store.h"
#include "tests/handoff/handoff_test_util.h"
#include "tests/support/shell_command.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class HandoffCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(QELMORA_CLI, Cli());
    ASSERT_NO_THROW(CreateParameterStore(m_store.Dir()));
  }

  fs::path Cli() const { return m_program.Path() / "qelmora-cli"; }
  fs::path HandoffFile() const { return m_temp.Path() / "~qe10.tmp"; }
  fs::path Record() const { return m_program.Path() / "sim" / "record.txt"; }

  // Appends a row through the store's own objects, released again before the tool runs.
  void Append(const std::vector<std::string>& texts) {
    OpenParameterStore(m_store.Dir());
    ASSERT_TRUE(ParameterStoreConnected());
    std::unique_ptr<PendingRow> row = TheParameterStore().StartRow();
    for (std::size_t i = 0; i < kParameterCount; ++i) row->Put(kParameterColumns[i], texts.at(i));
    row->Save({});
    CloseParameterStore();
  }

  CliRun Run(const std::string& arguments, const std::string& tmpdir) const {
    const fs::path errFile = m_scratch.Path() / "stderr.txt";
    const std::string command = "TMPDIR='" + tmpdir + "' '" + Cli().string() + "' " + arguments + " 2>'" +
                                errFile.string() + "'";
    const qtest::CommandResult result = qtest::RunCommand(command);
    CliRun run;
    run.status = result.status;
    run.out = result.output;
    run.err = qtest::ReadFileBytes(errFile);
    return run;
  }

  std::string StoreArgs() const { return "--store '" + m_store.Path().string() + "'"; }

  qtest::TempDir m_program;
  qtest::TempDir m_store;
  qtest::TempDir m_temp;
  qtest::TempDir m_scratch;
};

TEST_F(HandoffCliTest, WritesTheCurrentSetPrintsThePathAndStartsTheSimulator) {
  htest::InstallStandIn(m_program.Path());
  Append({"9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9"});
  Append({"1E-7", "2", "3", "4", "5", "6", "7", "8", "9", "10", "2,5"});

  const CliRun run = Run(StoreArgs() + " handoff", m_temp.Path().string());

  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, HandoffFile().string() + "\n");
  const std::string expected = htest::LittleEndianImage({1E-7, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2});
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), expected);
  ASSERT_TRUE(htest::WaitForFile(Record()));
  const htest::SimulatorRecord record = htest::ReadRecord(Record());
  EXPECT_EQ(fs::path(record.cwd), fs::canonical(m_program.Path() / "sim"));
  EXPECT_EQ(record.argumentCount, 0);
  EXPECT_EQ(record.fileHex, htest::Hex(expected));
}

TEST_F(HandoffCliTest, WithoutASimulatorOnlyNoLaunchSucceeds) {
  Append({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
  const std::string expected = htest::LittleEndianImage({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});

  const CliRun quiet = Run(StoreArgs() + " handoff --no-launch", m_temp.Path().string());
  EXPECT_EQ(quiet.status, 0) << quiet.out << quiet.err;
  EXPECT_EQ(quiet.out, HandoffFile().string() + "\n");
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), expected);

  fs::remove(HandoffFile());
  const CliRun failed = Run(StoreArgs() + " handoff", m_temp.Path().string());
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, HandoffFile().string() + "\n");
  EXPECT_EQ(failed.err, "To be updated!\n");
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), expected);
}

TEST_F(HandoffCliTest, FailuresExitWithTheirTextAndWriteNothing) {
  // No simulator installed: an attempt to start one would print "To be updated!".
  const CliRun badArgument = Run(StoreArgs() + " handoff --now", m_temp.Path().string());
  EXPECT_EQ(badArgument.status, 2);
  EXPECT_NE(badArgument.err.find("handoff [--no-launch]"), std::string::npos) << badArgument.err;
  const CliRun twice = Run(StoreArgs() + " handoff --no-launch --no-launch", m_temp.Path().string());
  EXPECT_EQ(twice.status, 2);

  // An empty table has no current row.
  const CliRun empty = Run(StoreArgs() + " handoff", m_temp.Path().string());
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, std::string("参数历史中还没有数据，请先导入模型文件") + "\n");

  // No store at all.
  qtest::TempDir nowhere;
  const CliRun missing = Run("--store '" + nowhere.Path().string() + "' handoff", m_temp.Path().string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("连接数据库失败!", 0), 0u) << missing.err;

  // A temporary directory nothing can be written into.
  Append({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
  const fs::path blocked = m_temp.Path() / "blocked";
  qtest::WriteFileBytes(blocked, "x");
  const CliRun unwritable = Run(StoreArgs() + " handoff", blocked.string());
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("无法写入数据文件"), std::string::npos) << unwritable.err;
  EXPECT_EQ(unwritable.err.find("To be updated!"), std::string::npos) << unwritable.err;

  EXPECT_EQ(htest::Names(m_temp.Path()), std::vector<std::string>{"blocked"});
}

}  // namespace
