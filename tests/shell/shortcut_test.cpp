// "shortcut" on Linux, pressed through the main dialog: a launcher in the user's desktop
// directory, checked with desktop-file-validate and started through GIO.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "base/platform.h"
#include "res/resource.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class Shortcut : public ::testing::Test {
 protected:
  shelltest::ScratchUser user;
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;

  // Presses "shortcut" with the running executable at target, in this process.
  std::vector<qtest::ShownBox> Press(const fs::path& target) {
    const shelltest::EnvGuard env(user.Env());
    platform.moduleFileName = target.string();
    platform.moduleFileNameUnknown = target.empty();
    boxes.Clear();
    qtest::ScriptedView view(boxes);
    MainDialog dialog(view);
    dialog.OnCommand(IDC_BUTTON_SHORTCUT);
    return boxes.Boxes();
  }

  void ExpectOnlyBox(const std::vector<qtest::ShownBox>& shown, const std::string& text, const std::string& caption) {
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, qtest::BoxKind::Dialog);
    EXPECT_EQ(shown[0].text, text);
    EXPECT_EQ(shown[0].caption, caption);
    EXPECT_EQ(shown[0].type, static_cast<unsigned>(kMbOk));
  }

  void WriteUserDirs(const std::string& desktopValue) {
    fs::create_directories(user.ConfigHome());
    qtest::WriteFileBytes(user.ConfigHome() / "user-dirs.dirs",
                          "# This file is written by xdg-user-dirs-update\n"
                          "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
                          "XDG_DESKTOP_DIR=\"" + desktopValue + "\"\n");
  }
};

}  // namespace

// The launcher lands in the localised desktop directory named by user-dirs.dirs (created), is
// named after the program's base name whatever the executable is called, is executable, valid,
// and starts the program in its directory.
TEST_F(Shortcut, LauncherInLocalisedDesktopStartsTheProgramInItsDirectory) {
  WriteUserDirs("$HOME/桌面");
  const fs::path dir = user.Root() / "My Apps $v2 \"q\"";
  const fs::path target = dir / "viewer 2.bin";
  shelltest::InstallStandIn(target);

  ExpectOnlyBox(Press(target), "Succeed!", "information");
  const fs::path launcher = user.Home() / "桌面" / "qelmora.desktop";
  ASSERT_TRUE(fs::exists(launcher));
  EXPECT_FALSE(fs::exists(user.Home() / "Desktop"));

  struct stat st {};
  ASSERT_EQ(::stat(launcher.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0111u);

  shelltest::RunResult r = shelltest::Run({"desktop-file-validate", launcher.string()}, {});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(shelltest::DesktopEntryString(launcher, "Name"), "qelmora");
  EXPECT_EQ(shelltest::DesktopEntryString(launcher, "Type"), "Application");
  EXPECT_EQ(shelltest::DesktopEntryString(launcher, "Path"), dir.string() + "/");

  // Its icon is in the user's theme, so the launcher shows it even without the association.
  EXPECT_TRUE(fs::exists(user.DataHome() / "icons" / "hicolor" / "32x32" / "apps" / "qelmora.png"));

  const fs::path args = user.Root() / "launch.args";
  r = shelltest::Run({"gio", "launch", launcher.string()}, user.Env({{"QELMORA_ARGS_FILE", args.string()}}));
  EXPECT_EQ(r.status, 0) << r.err;
  const auto record = shelltest::WaitForRecord(args);
  ASSERT_TRUE(record.has_value()) << r.err;
  EXPECT_EQ(record->argv, std::vector<std::string>{target.string()});
  EXPECT_EQ(fs::path(record->cwd), dir);
}

// Without user-dirs.dirs the desktop is ~/Desktop, created when missing.
TEST_F(Shortcut, UnknownProgramPathIsRefusedAndNoLauncherIsSaved) {
  ExpectOnlyBox(Press(fs::path()), kProgramPathUnknownText, "error");
  for (const auto& entry : fs::recursive_directory_iterator(user.Root())) {
    EXPECT_NE(entry.path().extension(), ".desktop") << entry.path();
  }
}

TEST_F(Shortcut, FallsBackToHomeDesktop) {
  const fs::path target = user.Root() / "bin" / "qelmora";
  shelltest::InstallStandIn(target);
  ExpectOnlyBox(Press(target), "Succeed!", "information");
  EXPECT_TRUE(fs::is_regular_file(user.Home() / "Desktop" / "qelmora.desktop"));
}

// A second press replaces the launcher (also one that was there before) with the same content,
// says "Succeed!" again and leaves no temporary files.
TEST_F(Shortcut, SecondPressReplacesTheLauncher) {
  WriteUserDirs("$HOME/Schreibtisch");
  const fs::path desktop = user.Home() / "Schreibtisch";
  fs::create_directories(desktop);
  qtest::WriteFileBytes(desktop / "qelmora.desktop", "old launcher\n");
  const fs::path target = user.Root() / "bin" / "qelmora";
  shelltest::InstallStandIn(target);

  ExpectOnlyBox(Press(target), "Succeed!", "information");
  const std::string first = qtest::ReadFileBytes(desktop / "qelmora.desktop");
  EXPECT_NE(first, "old launcher\n");
  ExpectOnlyBox(Press(target), "Succeed!", "information");
  EXPECT_EQ(qtest::ReadFileBytes(desktop / "qelmora.desktop"), first);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(desktop)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"qelmora.desktop"});
}

// A desktop directory that cannot be created: code 7.
TEST_F(Shortcut, UncreatableDesktopDirectoryGivesCode7) {
  qtest::WriteFileBytes(user.Home() / "blocker", "a file");
  WriteUserDirs("$HOME/blocker/Desktop");
  ExpectOnlyBox(Press(user.Root() / "bin" / "qelmora"), "error short cut=7", "error");
}

// A launcher that cannot be written: code 4, and nothing half-written stays behind.
TEST_F(Shortcut, UnwritableLauncherGivesCode4) {
  const fs::path desktop = user.Home() / "Desktop";
  fs::create_directories(desktop / "qelmora.desktop" / "occupied");
  ExpectOnlyBox(Press(user.Root() / "bin" / "qelmora"), "error short cut=4", "error");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(desktop)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"qelmora.desktop"});
}

// The launcher is marked trusted with gio; where that fails (a plain window manager) it is made all the same.
TEST_F(Shortcut, MarkedTrustedThroughGioAndMadeAllTheSameWhereMarkingFails) {
  const fs::path bin = user.Root() / "fake-bin", calls = user.Root() / "gio.calls";
  fs::create_directories(bin);
  qtest::WriteFileBytes(bin / "gio", "#!/bin/sh\necho \"$*\" >>'" + calls.string() + "'\nexit 1\n");
  fs::permissions(bin / "gio", fs::perms(0755));
  shelltest::InstallStandIn(user.Root() / "bin" / "qelmora");
  const shelltest::EnvGuard path({{"PATH", bin.string() + ":/usr/bin:/bin"}});
  ExpectOnlyBox(Press(user.Root() / "bin" / "qelmora"), "Succeed!", "information");
  const fs::path launcher = user.Home() / "Desktop" / "qelmora.desktop";
  EXPECT_EQ(qtest::ReadFileBytes(calls), "set " + launcher.string() + " metadata::trusted true\n");
}
