// The start-up of the main dialog on Windows, driven without a window: the location record in the
// system directory, and the "Transfer data" button by the simulation program beside the executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "store/store.h"
#include "store/store_win.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"

namespace {

std::string SystemDirectory() {
  char buffer[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
  return std::string(buffer, length);
}

class WinDialogInit : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseParameterStore();
    g_pRecordset.Release();
    g_pConnection.Release();
    g_strModelPath.clear();
  }
};

TEST_F(WinDialogInit, WritesTheLocationRecordIntoSystem32) {
  const std::string record = SystemDirectory() + "\\121125.stp";
  qtest::TempDir longer;
  qtest::TempDir program;
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;

  // A long path first, then a shorter one: the record is rewritten, zero bytes behind the path.
  for (const std::string& exe : {longer.Dir() + "a-rather-long-name-of-the-program-file.exe",
                                 program.Dir() + "qelmora.exe"}) {
    platform.moduleFileName = exe;
    qtest::ScriptedView view;
    MainDialog dialog(view);
    EXPECT_TRUE(dialog.OnInitDialog());
    const std::string bytes = qtest::ReadFileBytes(record);
    ASSERT_EQ(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(0, exe.size()), exe);
    EXPECT_EQ(bytes.find_first_not_of('\0', exe.size()), std::string::npos);
    CloseParameterStore();
    g_pRecordset.Release();
    g_pConnection.Release();
  }
  // No "error(stp)": the record could be written.
  for (const std::string& text : boxes.Texts()) EXPECT_NE(text, "error(stp)");
}

TEST_F(WinDialogInit, TransferButtonFollowsTheSimulationProgram) {
  qtest::TempDir program;
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  platform.moduleFileName = program.Dir() + "qelmora.exe";

  const auto start = [&](const std::string& commandLineFile) {
    qtest::ScriptedView view;
    MainDialog dialog(view);
    dialog.m_strPath = commandLineFile;
    dialog.OnInitDialog();
    CloseParameterStore();
    g_pRecordset.Release();
    g_pConnection.Release();
    EXPECT_EQ(dialog.m_bFromCommandLine, !commandLineFile.empty());
    EXPECT_FALSE(dialog.m_bImported);
    EXPECT_EQ(g_strModelPath, commandLineFile);
    EXPECT_EQ(view.pathText, commandLineFile);
    EXPECT_EQ(view.aboutItems, std::vector<std::string>{"关于 qelmora(&A)..."});
    return view.transferCalls.empty() ? std::nullopt : std::optional<bool>(view.transferCalls.back());
  };

  EXPECT_EQ(start(""), std::optional<bool>(false));
  std::filesystem::create_directory(program.Path() / "sim");
  EXPECT_EQ(start("C:\\models\\a.mdl"), std::optional<bool>(false));
  qtest::WriteFileBytes(program.Path() / "sim" / "Kambrisolve.exe", "MZ");
  EXPECT_EQ(start(""), std::optional<bool>(true));

  // Without Jet the store's connection message comes at every start, after the record.
  ASSERT_FALSE(boxes.Texts().empty());
  EXPECT_EQ(boxes.Texts()[0].rfind("连接数据库失败!\r\n错误信息：", 0), 0u);
}

}  // namespace
