// qelmora-cli associate and shortcut: the same steps headless, for the dialog program "qelmora"
// that lies beside the tool. The tool is copied into a scratch directory with a stand-in as
// "qelmora" beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/shell/shell_test_util.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class CliShell : public ::testing::Test {
 protected:
  shelltest::ScratchUser user;
  fs::path dir = user.Root() / "inst dir";
  fs::path cli = dir / "qelmora-cli";
  fs::path program = dir / "qelmora";

  void SetUp() override {
    fs::create_directories(dir);
    fs::copy_file(shelltest::CliPath(), cli);
  }
  shelltest::RunResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv{cli.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return shelltest::Run(argv, user.Env(), user.Root().string());
  }
};

}  // namespace

TEST_F(CliShell, AssociateRegistersTheDialogProgramBesideTheTool) {
  shelltest::InstallStandIn(program);
  const shelltest::RunResult r = Cli({"associate"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "文件关联设置成功!\n");

  const fs::path model = user.Root() / "m 1.mdl";
  qtest::WriteFileBytes(model, "Element 0 Type: 1\n");
  const fs::path args = user.Root() / "open.args";
  shelltest::Run({"gio", "open", model.string()}, user.Env({{"QELMORA_ARGS_FILE", args.string()}}));
  const auto record = shelltest::WaitForRecord(args);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->argv, (std::vector<std::string>{program.string(), model.string()}));
}

TEST_F(CliShell, AssociateWithoutTheDialogProgramFails) {
  const shelltest::RunResult r = Cli({"associate"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(shelltest::Lines(r.err),
            (std::vector<std::string>{"文件关联设置失败", "错误代码-inqury001", "文件关联设置失败", "错误代码-whole001"}));
}

TEST_F(CliShell, ShortcutLaunchesTheDialogProgramBesideTheTool) {
  shelltest::InstallStandIn(program);
  shelltest::RunResult r = Cli({"shortcut"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Succeed!\n");
  const fs::path launcher = user.Home() / "Desktop" / "qelmora.desktop";
  EXPECT_EQ(shelltest::DesktopEntryString(launcher, "Path"), dir.string() + "/");
  const fs::path args = user.Root() / "launch.args";
  r = shelltest::Run({"gio", "launch", launcher.string()}, user.Env({{"QELMORA_ARGS_FILE", args.string()}}));
  const auto record = shelltest::WaitForRecord(args);
  ASSERT_TRUE(record.has_value()) << r.err;
  EXPECT_EQ(record->argv, std::vector<std::string>{program.string()});
}

TEST_F(CliShell, ShortcutFailureExitsWithOne) {
  qtest::WriteFileBytes(user.Home() / "Desktop", "a file");
  const shelltest::RunResult r = Cli({"shortcut"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error short cut=7\n");
}

TEST_F(CliShell, ExtraArgumentsAreRejected) {
  EXPECT_EQ(Cli({"associate", "x"}).status, 2);
  EXPECT_EQ(Cli({"shortcut", "x"}).status, 2);
  EXPECT_FALSE(fs::exists(user.DataHome() / "applications"));
  EXPECT_FALSE(fs::exists(user.Home() / "Desktop"));
}
