// "Transfer data" through the dialog's command dispatch, over a real store, a real hand-off file in
// a temporary directory of the test, and the stand-in simulator started for real.
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/handoff_commands.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "handoff/handoff.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/handoff/transfer_fixture.h"
#include "tests/support/scripted_view.h"

namespace fs = std::filesystem;
using qtest::BoxKind;

namespace {

using htest::Row;
using htest::TextRow;

class TransferTest : public htest::TransferFixture {
 protected:
  fs::path HandoffFile() const { return m_temp.Path() / "~qe10.tmp"; }

  std::vector<std::pair<std::string, std::string>> ExpectedStart() const {
    return {{(Sim() / "Kambrisolve.exe").string(), Sim().string()}};
  }
};

TEST_F(TransferTest, LastRowIsHandedOverBeforeTheSimulatorStartsAndTheDialogEnds) {
  htest::InstallStandIn(m_program.Path());
  Append(TextRow({"9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9"}));
  Append(TextRow({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  Row last = TextRow({"1.2345E-07", "12.5", "", "1.5E-3", "0.87", "abc", "2,5", "0.71", "1.25E+03", "0.012", "0.5"});
  last[kR1] = std::nullopt;
  Append(last);
  qtest::WriteFileBytes(HandoffFile(), std::string(5000, '\x11'));  // an older, longer file

  Transfer();

  const std::string expected =
      htest::LittleEndianImage({1.2345E-07, 12.5, 0.0, 0.0015, 0.87, 0.0, 2.0, 0.71, 1.25E+03, 0.012, 0.5});
  EXPECT_TRUE(m_boxes.Boxes().empty()) << m_boxes.Texts().front();
  EXPECT_EQ(htest::Hex(qtest::ReadFileBytes(HandoffFile())), htest::Hex(expected));
  EXPECT_EQ(m_platform.started, ExpectedStart());
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});

  // What the simulator saw: the complete file, no arguments, its own folder as working directory.
  ASSERT_TRUE(htest::WaitForFile(Record()));
  const htest::SimulatorRecord record = htest::ReadRecord(Record());
  EXPECT_EQ(fs::path(record.cwd), fs::canonical(Sim()));
  EXPECT_EQ(record.argumentCount, 0);
  EXPECT_EQ(record.fileSize, 88);
  EXPECT_EQ(record.fileHex, htest::Hex(expected));

  // The handler leaves the store usable and the dialog's state as it was.
  EXPECT_NO_THROW(TheParameterStore().StartRow()->Drop());
  EXPECT_TRUE(m_dialog.m_bImported);
  EXPECT_FALSE(m_dialog.m_bFromCommandLine);
}

TEST_F(TransferTest, FailedStartSaysSoAndTheDialogStillEndsWithTheFileWritten) {
  fs::create_directories(Sim());  // the folder, but no program in it
  // Not beside the program: the one of the user's data directory is tried, and is missing too.
  qtest::TempDir dataHome;
  htest::ScopedEnv xdg("XDG_DATA_HOME", dataHome.Path().string());
  const fs::path userSim = dataHome.Path() / "qelmora" / "sim";
  Append(TextRow({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));

  Transfer();

  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].kind, BoxKind::Dialog);
  EXPECT_EQ(m_boxes.Boxes()[0].text, "To be updated!");
  EXPECT_EQ(m_boxes.Boxes()[0].caption, "Notice");
  EXPECT_EQ(m_boxes.Boxes()[0].type, kMbOk);
  EXPECT_EQ(m_platform.started, (std::vector<std::pair<std::string, std::string>>{
                                    {(userSim / "Kambrisolve.exe").string(), userSim.string()}}));
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), htest::LittleEndianImage({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(TransferTest, UnwritableTemporaryDirectoryIsReportedThenTheNextTransferGoesThrough) {
  htest::InstallStandIn(m_program.Path());
  Append(TextRow({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  Append(TextRow({"0.5", "0.5", "0.5", "0.5", "0.5", "0.5", "0.5", "0.5", "0.5", "0.5", "-0.5"}));
  // A temporary "directory" that is a regular file: nothing can be created in it, not even by root.
  const fs::path blocked = m_temp.Path() / "blocked";
  qtest::WriteFileBytes(blocked, "a file, not a directory");
  m_platform.tempPath = blocked.string() + "/";

  Transfer();

  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].kind, BoxKind::App);
  EXPECT_NE(m_boxes.Boxes()[0].text.find("无法写入数据文件"), std::string::npos) << m_boxes.Boxes()[0].text;
  EXPECT_NE(m_boxes.Boxes()[0].text.find(blocked.string() + "/~qe10.tmp"), std::string::npos);
  EXPECT_TRUE(m_platform.started.empty());
  EXPECT_TRUE(m_view.endResults.empty());
  EXPECT_EQ(qtest::ReadFileBytes(blocked), "a file, not a directory");
  EXPECT_EQ(htest::Names(m_temp.Path()), std::vector<std::string>{"blocked"});

  // Again, with a usable directory: the first attempt closed the recordset, so the transfer
  // completes without any message.
  m_boxes.Clear();
  m_platform.tempPath = m_temp.Dir();
  Transfer();

  EXPECT_TRUE(m_boxes.Boxes().empty()) << m_boxes.Texts().front();
  const std::string expected = htest::LittleEndianImage({0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, -0.5});
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), expected);
  EXPECT_EQ(m_platform.started, ExpectedStart());
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
  ASSERT_TRUE(htest::WaitForFile(Record()));
  EXPECT_EQ(htest::ReadRecord(Record()).fileHex, htest::Hex(expected));
}

TEST_F(TransferTest, EmptyPathAsksFirstCancelDoesNothingOkGoesOnWithTheStoredRow) {
  htest::InstallStandIn(m_program.Path());
  Append(TextRow({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  m_dialog.m_strPath.clear();
  m_view.pathText.clear();
  m_dialog.m_bImported = false;

  m_boxes.Answer(kIdCancel);
  Transfer();
  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_FALSE(fs::exists(HandoffFile()));
  EXPECT_TRUE(m_platform.started.empty());
  EXPECT_TRUE(m_view.endResults.empty());

  // Nothing was read either: the recordset is closed, so the next Open is not refused.
  m_boxes.Clear();
  m_boxes.Answer(kIdOk);
  Transfer();
  ASSERT_EQ(m_boxes.Boxes().size(), 2u) << m_boxes.Texts().back();
  EXPECT_EQ(m_boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_EQ(m_boxes.Boxes()[1].caption, "警告!");
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), htest::LittleEndianImage({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(m_platform.started, ExpectedStart());
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
}

TEST_F(TransferTest, UnknownProgramPathStartsNoSimulatorOfTheCurrentDirectory) {
  m_platform.moduleFileNameUnknown = true;
  EXPECT_FALSE(StartSimulator());
  EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kProgramPathUnknownText});
  EXPECT_TRUE(m_platform.started.empty());
}

TEST_F(TransferTest, EmptyTableEndsTheCommandWithoutFileOrStart) {
  htest::InstallStandIn(m_program.Path());
  qtest::WriteFileBytes(HandoffFile(), "previous transfer");

  Transfer();

  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].kind, BoxKind::App);
  EXPECT_EQ(m_boxes.Boxes()[0].text, std::string("参数历史中还没有数据，请先导入模型文件"));
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), "previous transfer");
  EXPECT_TRUE(m_platform.started.empty());
  EXPECT_TRUE(m_view.endResults.empty());

  // The failed read closed the recordset: with a row stored, the next transfer goes through silently.
  m_boxes.Clear();
  Append(TextRow({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  Transfer();
  EXPECT_TRUE(m_boxes.Boxes().empty()) << m_boxes.Texts().front();
  EXPECT_EQ(qtest::ReadFileBytes(HandoffFile()), htest::LittleEndianImage({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
}

TEST_F(TransferTest, ModelFileNamedAtStartIsImportedOnceThenHandedOver) {
  htest::InstallStandIn(m_program.Path());
  Append(TextRow({"9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9"}));
  const fs::path model = m_temp.Path() / "fit.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText({"1.5E-07", "3.25", "10.5", "2.5E-05", "0.9", "100", "1E-3", "0.75",
                                                 "1000", "0.0625", "0.5"}));
  m_dialog.m_strPath = model.string();
  m_view.pathText = model.string();
  g_strModelPath = model.string();
  m_dialog.m_bFromCommandLine = true;
  m_dialog.m_bImported = false;

  Transfer();

  EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_TRUE(m_dialog.m_bImported);
  const std::string expected =
      htest::LittleEndianImage({1.5E-07, 3.25, 10.5, 2.5E-05, 0.9, 100, 1E-3, 0.75, 1000, 0.0625, 0.5});
  EXPECT_EQ(htest::Hex(qtest::ReadFileBytes(HandoffFile())), htest::Hex(expected));
  EXPECT_EQ(m_platform.started, ExpectedStart());
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
  // The hand-off file lies in the test's directory, not in the model's: only the two files.
  EXPECT_EQ(htest::Names(m_temp.Path()), (std::vector<std::string>{"fit.mdl", "~qe10.tmp"}));
}

}  // namespace
