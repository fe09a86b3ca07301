// "Associate mdl" on Linux, pressed through the main dialog in a child process with a scratch
// user; the result is read back with xdg-mime, gio and desktop-file-validate, and the registered
// program is a stand-in that records how it was started.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/platform.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using shelltest::ProbeBox;

namespace {

constexpr const char* kType = "application/x-qelmora-mdl";

const ProbeBox kSuccess{"dialog", "信息提示", "文件关联设置成功!", 0};
ProbeBox StepFailure(const std::string& code) {
  return {"ownerless", "错误提示", "文件关联设置失败\r\n错误代码-" + code, 0};
}
const ProbeBox kWhole{"dialog", "错误提示", "文件关联设置失败\r\n错误代码-whole001", 0};

// Every file under dir with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = qtest::ReadFileBytes(entry.path());
  }
  return files;
}

std::string SourceFile(const std::string& relative) {
  return qtest::ReadFileBytes(fs::path(QELMORA_SOURCE_DIR) / relative);
}

class Association : public ::testing::Test {
 protected:
  shelltest::ScratchUser user;

  std::vector<ProbeBox> Press(const fs::path& target, int* status = nullptr) {
    return shelltest::RunProbe("associate", target.string(), user.Env(), status);
  }
  shelltest::RunResult Tool(const std::vector<std::string>& argv, const shelltest::EnvChanges& extra = {}) {
    return shelltest::Run(argv, user.Env(extra), user.Root().string());
  }
  fs::path Model(const std::string& name) {
    const fs::path path = user.Root() / "models" / name;
    fs::create_directories(path.parent_path());
    qtest::WriteFileBytes(path, qtest::ModelText({"1e-6", "2", "3", "4e-5", "0.9", "5", "6e-4", "0.8", "7", "8e-3",
                                                  "0.7"}));
    return path;
  }
};

}  // namespace

// One press: the type, the entry, the icons and the default application are in place, as the
// desktop's own tools see them, and the success message is the only one.
TEST_F(Association, RegistersTypeEntryIconAndDefaultApplication) {
  const fs::path target = user.Root() / "Program Files" / "qelmora";
  shelltest::InstallStandIn(target);
  // Settings of other types and another handler of ours-to-be must survive; ours becomes default.
  fs::create_directories(user.ConfigHome());
  qtest::WriteFileBytes(user.ConfigHome() / "mimeapps.list",
                        "[Default Applications]\ntext/plain=vim.desktop\n\n"
                        "[Added Associations]\nimage/png=viewer.desktop;\n");

  const std::vector<ProbeBox> boxes = Press(target);
  EXPECT_EQ(boxes, std::vector<ProbeBox>{kSuccess}) << shelltest::FormatBoxes(boxes);

  const fs::path model = Model("a b.mdl");
  shelltest::RunResult r = Tool({"xdg-mime", "query", "filetype", model.string()});
  EXPECT_EQ(r.out, std::string(kType) + "\n") << r.err;
  r = Tool({"xdg-mime", "query", "default", kType});
  EXPECT_EQ(r.out, "qelmora.desktop\n") << r.err;
  r = Tool({"gio", "mime", kType});
  EXPECT_NE(r.out.find("Default application for “application/x-qelmora-mdl”: qelmora.desktop"), std::string::npos)
      << r.out << r.err;

  r = Tool({"desktop-file-validate", user.EntryPath().string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(shelltest::DesktopEntryString(user.EntryPath(), "MimeType"), std::string(kType) + ";");
  EXPECT_EQ(shelltest::DesktopEntryString(user.EntryPath(), "Icon"), "qelmora");

  // The icon is the program's own, for the program and for its model files, in both sizes.
  const fs::path hicolor = user.DataHome() / "icons" / "hicolor";
  for (const char* size : {"32", "16"}) {
    const std::string png = SourceFile(std::string("res/icon_") + size + ".png");
    ASSERT_FALSE(png.empty());
    const fs::path dir = hicolor / (std::string(size) + "x" + size);
    EXPECT_EQ(qtest::ReadFileBytes(dir / "apps" / "qelmora.png"), png) << size;
    EXPECT_EQ(qtest::ReadFileBytes(dir / "mimetypes" / "application-x-qelmora-mdl.png"), png) << size;
  }

  // Nothing else in mimeapps.list was lost.
  r = Tool({"xdg-mime", "query", "default", "text/plain"});
  EXPECT_EQ(r.out, "vim.desktop\n");
  const std::string mimeapps = qtest::ReadFileBytes(user.ConfigHome() / "mimeapps.list");
  EXPECT_NE(mimeapps.find("image/png=viewer.desktop;"), std::string::npos) << mimeapps;

  // The change was announced: update-desktop-database built the cache of the applications folder.
  const std::string cache = qtest::ReadFileBytes(user.DataHome() / "applications" / "mimeinfo.cache");
  EXPECT_NE(cache.find(std::string(kType) + "=qelmora.desktop;"), std::string::npos) << cache;
}

// Opening a model file the way a file manager does (default handler of its type) and launching the
// entry with a file both start the registered program with exactly that file's path.
TEST_F(Association, OpeningAModelFileStartsTheProgramWithItsExactPath) {
  const fs::path target = user.Root() / "inst dir" / "qelmora";
  shelltest::InstallStandIn(target);
  ASSERT_EQ(Press(target), std::vector<ProbeBox>{kSuccess});
  const fs::path model = Model("run 50% $HOME 'fit' \"2\".mdl");

  const fs::path opened = user.Root() / "opened.args";
  shelltest::RunResult r = Tool({"gio", "open", model.string()}, {{"QELMORA_ARGS_FILE", opened.string()}});
  EXPECT_EQ(r.status, 0) << r.err;
  auto record = shelltest::WaitForRecord(opened);
  ASSERT_TRUE(record.has_value()) << "the program was not started: " << r.err;
  EXPECT_EQ(record->argv, (std::vector<std::string>{target.string(), model.string()}));

  const fs::path launched = user.Root() / "launched.args";
  r = Tool({"gio", "launch", user.EntryPath().string(), model.string()}, {{"QELMORA_ARGS_FILE", launched.string()}});
  EXPECT_EQ(r.status, 0) << r.err;
  record = shelltest::WaitForRecord(launched);
  ASSERT_TRUE(record.has_value()) << r.err;
  EXPECT_EQ(record->argv, (std::vector<std::string>{target.string(), model.string()}));
}

// A program path with blanks, quotes, backslashes, $ and other shell characters is written so
// that GIO starts exactly that program, and the check agrees.
TEST_F(Association, AwkwardProgramPathStartsExactlyThatProgram) {
  const fs::path target = user.Root() / "Tools \"v2\" 'x' back\\slash $HOME `id` ~a #b;c&d|e(f)*?<g>" / "qelmora";
  shelltest::InstallStandIn(target);
  const std::vector<ProbeBox> boxes = Press(target);
  ASSERT_EQ(boxes, std::vector<ProbeBox>{kSuccess}) << shelltest::FormatBoxes(boxes);
  shelltest::RunResult r = Tool({"desktop-file-validate", user.EntryPath().string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;

  const fs::path model = Model("m.mdl");
  const fs::path launched = user.Root() / "launched.args";
  r = Tool({"gio", "launch", user.EntryPath().string(), model.string()}, {{"QELMORA_ARGS_FILE", launched.string()}});
  const auto record = shelltest::WaitForRecord(launched);
  ASSERT_TRUE(record.has_value()) << r.err;
  EXPECT_EQ(record->argv, (std::vector<std::string>{target.string(), model.string()}));
}

// GLib will not load an entry whose program path holds a %, however it is written; the check
// must then fail rather than report an association that cannot start anything.
TEST_F(Association, ProgramPathThatGioRejectsFailsTheCheck) {
  const fs::path target = user.Root() / "100% tools" / "qelmora";
  shelltest::InstallStandIn(target);
  const std::vector<ProbeBox> boxes = Press(target);
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{StepFailure("inqury001"), kWhole})) << shelltest::FormatBoxes(boxes);
  // GIO itself refuses the entry: nothing could have been started.
  const shelltest::RunResult r = Tool({"gio", "launch", user.EntryPath().string()},
                                      {{"QELMORA_ARGS_FILE", (user.Root() / "x.args").string()}});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(fs::exists(user.Root() / "x.args"));
  // The entry itself was written, as the registration steps all succeeded.
  EXPECT_TRUE(fs::exists(user.EntryPath()));
}

// A program path that is not known (too long for Windows' buffer, not found on Linux) is refused
// before anything is written: no entry that would start nothing.
TEST_F(Association, UnknownProgramPathIsRefusedAndNothingIsWritten) {
  const std::map<std::string, std::string> before = Snapshot(user.Root());
  const std::vector<ProbeBox> boxes = Press(fs::path());
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{{"dialog", "错误提示", kProgramPathUnknownText, 0}}))
      << shelltest::FormatBoxes(boxes);
  EXPECT_EQ(Snapshot(user.Root()), before);
}

// A missing program cannot be the handler either.
TEST_F(Association, MissingProgramFailsTheCheck) {
  const std::vector<ProbeBox> boxes = Press(user.Root() / "nowhere" / "qelmora");
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{StepFailure("inqury001"), kWhole})) << shelltest::FormatBoxes(boxes);
}

// The check looks at what the entry starts: an entry left by the program at another place does
// not pass for this one.
TEST_F(Association, CheckFailsForAnEntryOfAnotherProgram) {
  const fs::path old = user.Root() / "old" / "qelmora";
  const fs::path moved = user.Root() / "new" / "qelmora";
  shelltest::InstallStandIn(old);
  shelltest::InstallStandIn(moved);
  ASSERT_EQ(Press(old), std::vector<ProbeBox>{kSuccess});
  int status = 0;
  EXPECT_EQ(shelltest::RunProbe("check", old.string(), user.Env(), &status), std::vector<ProbeBox>{});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(shelltest::RunProbe("check", moved.string(), user.Env(), &status),
            std::vector<ProbeBox>{StepFailure("inqury001")});
  EXPECT_EQ(status, 1);
  // Pressing the button at the new place moves the association there.
  EXPECT_EQ(Press(moved), std::vector<ProbeBox>{kSuccess});
}

// Pressing twice writes the same files again and reports success again.
TEST_F(Association, SecondPressGivesSameFilesAndSuccessAgain) {
  const fs::path target = user.Root() / "app" / "qelmora";
  shelltest::InstallStandIn(target);
  ASSERT_EQ(Press(target), std::vector<ProbeBox>{kSuccess});
  const auto data = Snapshot(user.DataHome());
  const auto config = Snapshot(user.ConfigHome());
  EXPECT_EQ(Press(target), std::vector<ProbeBox>{kSuccess});
  EXPECT_EQ(Snapshot(user.DataHome()), data);
  EXPECT_EQ(Snapshot(user.ConfigHome()), config);
  // No temporary file of the atomic writes was left behind.
  for (const auto& [name, bytes] : data) EXPECT_EQ(name.find("/."), std::string::npos) << name;
}

// Links planted at the names update-mime-database writes, and a media type folder that is a link,
// are removed before it runs: what they point to stays as it was.
TEST_F(Association, LinksPlantedInTheMimeFolderAreNeverWrittenThrough) {
  const fs::path target = user.Root() / "app" / "qelmora", mime = user.DataHome() / "mime";
  const fs::path victim = user.Root() / "victim";
  shelltest::InstallStandIn(target);
  fs::create_directories(mime);
  fs::create_directories(victim / "folder");
  qtest::WriteFileBytes(victim / "file", "keep");
  fs::create_symlink(victim / "file", mime / "globs2.new");
  fs::create_hard_link(victim / "file", mime / "mime.cache.new");
  fs::create_directory_symlink(victim / "folder", mime / "application");
  EXPECT_EQ(Press(target), std::vector<ProbeBox>{kSuccess});
  EXPECT_EQ(qtest::ReadFileBytes(victim / "file"), "keep");
  EXPECT_TRUE(fs::is_empty(victim / "folder"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(mime / "globs2")));
}

// A data directory that cannot be written: bind001, inqury001 and whole001, in this order, and no
// success message; the default application was not touched.
TEST_F(Association, UnwritableDataDirectoryShowsThreeFailuresInOrder) {
  const fs::path target = user.Root() / "app" / "qelmora";
  shelltest::InstallStandIn(target);
  const fs::path blocker = user.Root() / "blocker";
  qtest::WriteFileBytes(blocker, "a file, not a directory");
  const std::vector<ProbeBox> boxes =
      shelltest::RunProbe("associate", target.string(), user.Env({{"XDG_DATA_HOME", (blocker / "share").string()}}));
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{StepFailure("bind001"), StepFailure("inqury001"), kWhole}))
      << shelltest::FormatBoxes(boxes);
  EXPECT_FALSE(fs::exists(user.ConfigHome() / "mimeapps.list"));
}

// The open command cannot be written: the registration stops there, and with no entry the check
// fails too.
TEST_F(Association, UnwritableApplicationsFolderStopsAtBind002) {
  const fs::path target = user.Root() / "app" / "qelmora";
  shelltest::InstallStandIn(target);
  fs::create_directories(user.DataHome());
  qtest::WriteFileBytes(user.DataHome() / "applications", "not a directory");
  const std::vector<ProbeBox> boxes = Press(target);
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{StepFailure("bind002"), StepFailure("inqury001"), kWhole}))
      << shelltest::FormatBoxes(boxes);
  EXPECT_TRUE(fs::exists(user.DataHome() / "mime" / "packages" / "qelmora-mdl.xml"));  // bind001 stays
  EXPECT_FALSE(fs::exists(user.DataHome() / "icons"));                                  // bind003 never ran
}

// The icon cannot be installed: bind003 is reported, but the check decides, and the association
// itself works, so success follows.
TEST_F(Association, IconFailureIsReportedAndTheCheckStillDecides) {
  const fs::path target = user.Root() / "app" / "qelmora";
  shelltest::InstallStandIn(target);
  fs::create_directories(user.DataHome());
  qtest::WriteFileBytes(user.DataHome() / "icons", "not a directory");
  const std::vector<ProbeBox> boxes = Press(target);
  EXPECT_EQ(boxes, (std::vector<ProbeBox>{StepFailure("bind003"), kSuccess})) << shelltest::FormatBoxes(boxes);
  const shelltest::RunResult r = Tool({"xdg-mime", "query", "default", kType});
  EXPECT_EQ(r.out, "qelmora.desktop\n");
}
