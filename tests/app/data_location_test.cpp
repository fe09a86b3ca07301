// Where the program keeps its data on Linux: beside the program when it is there (a build or
// unpacked folder), else in the user's data directory, where the dialog creates the store on its
// first run and says so once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/main_dialog.h"
#include "handoff/handoff.h"
#include "store/store.h"
#include "tests/support/scripted_view.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qtest::TempDir;

const std::vector<std::string> kValues = {"1.1E-07", "0.0123", "0.0045", "3.3E-05", "0.81", "0.0231",
                                          "12.5",    "0.91",   "0.1034", "356.7",   "0.65"};

class DataLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.moduleFileName = program.Dir() + "qelmora";
    platform.systemDirectory = system.Path().string();
  }
  void TearDown() override {
    CloseParameterStore();
  }

  std::string UserDir() const { return (user.Path() / "share" / "qelmora").string() + "/"; }

  // Starts a dialog (and presses OK when a model file is given); returns the texts of its message
  // boxes. The store is let go afterwards, as at the end of a run.
  std::vector<std::string> StartDialog(bool* transferShown = nullptr, const std::string& model = {}) {
    qtest::ScriptedMessageBoxes boxes;
    qtest::ScriptedView view(boxes);
    MainDialog dialog(view);
    dialog.m_strPath = model;
    EXPECT_TRUE(dialog.OnInitDialog());
    if (transferShown != nullptr) *transferShown = view.transferCalls == std::vector<bool>{true};
    if (!model.empty()) dialog.OnCommand(kIdOk);
    CloseParameterStore();
    return boxes.Texts();
  }

  TempDir program;
  TempDir system;
  TempDir user;
  qtest::ScopedEnv dataHome{"XDG_DATA_HOME", (user.Path() / "share").string()};
  qtest::TestPlatform platform;
};

TEST_F(DataLocationTest, BesideTheProgramWhenThere) {
  ASSERT_NO_THROW(CreateParameterStore(program.Dir()));
  fs::create_directories(program.Path() / "sim");
  qtest::WriteFileBytes(program.Path() / "sim" / "Kambrisolve.exe", "MZ");
  // The user's directory holds both too: the program's own win.
  ASSERT_TRUE(fs::create_directories(UserDir() + "sim"));
  ASSERT_NO_THROW(CreateParameterStore(UserDir()));
  qtest::WriteFileBytes(UserDir() + "sim/Kambrisolve.exe", "MZ");

  EXPECT_EQ(StoreDirectory(), program.Dir());
  EXPECT_EQ(SimulatorProgramPath(), program.Dir() + "sim/Kambrisolve.exe");
  EXPECT_EQ(SimulatorWorkingDirectory(), program.Dir() + "sim");
  EXPECT_EQ(CreateUserStoreOnFirstUse(program.Dir()), std::nullopt);
  const fs::path model = user.Path() / "a.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  EXPECT_EQ(StartDialog(nullptr, model.string()), std::vector<std::string>{"插入成功!"});
  EXPECT_EQ(qtest::StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kValues});
  EXPECT_TRUE(qtest::StoreRows(UserDir()).empty());
}

TEST_F(DataLocationTest, ElseTheUserStoreIsCreatedOnTheFirstRunAndAnnouncedOnce) {
  const std::string store = UserDir() + "dravo.mdb";
  EXPECT_EQ(StoreDirectory(), UserDir());
  bool transferShown = true;
  EXPECT_EQ(StartDialog(&transferShown), std::vector<std::string>{"已创建新的参数数据库：" + store});
  EXPECT_FALSE(transferShown);
  EXPECT_FALSE(fs::exists(program.Path() / "dravo.mdb"));
  // A real, empty store with table1, read by the sqlcipher shell.
  EXPECT_TRUE(qtest::StoreRows(UserDir()).empty());

  // The next run uses it and says nothing but the import's success.
  const fs::path model = user.Path() / "a.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  EXPECT_EQ(StartDialog(nullptr, model.string()), std::vector<std::string>{"插入成功!"});
  EXPECT_EQ(qtest::StoreRows(UserDir()), std::vector<std::vector<std::string>>{kValues});

  // The simulator installed for the user shows the button and is the one started.
  fs::create_directories(UserDir() + "sim");
  qtest::WriteFileBytes(UserDir() + "sim/Kambrisolve.exe", "MZ");
  EXPECT_EQ(SimulatorProgramPath(), UserDir() + "sim/Kambrisolve.exe");
  EXPECT_EQ(StartDialog(&transferShown), std::vector<std::string>{});
  EXPECT_TRUE(transferShown);
}

TEST_F(DataLocationTest, AUserStoreThatCannotBeMadeIsReportedAndNothingElseIsCreated) {
  qtest::WriteFileBytes(user.Path() / "share", "not a directory");
  qtest::ScopedEnv deeper("XDG_DATA_HOME", (user.Path() / "share" / "deeper").string());
  const std::vector<std::string> texts = StartDialog();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("无法创建数据库文件 " + (user.Path() / "share" / "deeper" / "qelmora").string() +
                               "/dravo.mdb：",
                           0),
            0u)
      << texts[0];
  EXPECT_EQ(texts[1].rfind("连接数据库失败!\r\n错误信息：", 0), 0u) << texts[1];
  EXPECT_FALSE(fs::exists(program.Path() / "dravo.mdb"));
  EXPECT_EQ(qtest::ReadFileBytes(user.Path() / "share"), "not a directory");
}

}  // namespace
