// The command-line tool's streams and names, and files written where another user could swap the
// path: stdout carries results only (a full stdout fails the command), relative names are taken as
// given, 255-byte workbook names, a scratch file swapped for a link, the location record's FIFO and
// missing HOME, and a desktop launcher that could not start the program.
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/afx.h"
#include "app/globals.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "store/store.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/store_rows.h"
#include "tests/support/scripted_view.h"
#include "tests/support/shell_command.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qtest::ShellQuote;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliFileSafety : public ::testing::Test {
 protected:
  // The tool run by the shell in the folder given; "> OUT" may be redirected by the arguments.
  CliRun Cli(const std::string& arguments, const fs::path& cwd, const std::string& stdoutTo = "") {
    const fs::path out = m_dir.Path() / "stdout.txt";
    const fs::path err = m_dir.Path() / "stderr.txt";
    const qtest::CommandResult r = qtest::RunCommand(
        "cd " + ShellQuote(cwd.string()) + " && HOME=" + ShellQuote((m_dir.Path() / "home").string()) +
        " XDG_DATA_HOME=" + ShellQuote((m_dir.Path() / "data").string()) + " " + ShellQuote(qrel::CliProgram()) + " " +
        arguments + " >" + ShellQuote(stdoutTo.empty() ? out.string() : stdoutTo) + " 2>" + ShellQuote(err.string()));
    return {r.status, stdoutTo.empty() ? qtest::ReadFileBytes(out) : "", qtest::ReadFileBytes(err)};
  }

  // A store in folder with one imported row.
  void StoreWithARow(const fs::path& folder) {
    fs::create_directories(folder);
    ASSERT_EQ(Cli("--store " + ShellQuote(folder.string()) + " init-store", folder).status, 0);
    qtest::WriteFileBytes(folder / "m.mdl", qtest::ModelText(qrel::TaggedValues("m")));
    ASSERT_EQ(Cli("--store " + ShellQuote(folder.string()) + " import m.mdl", folder).status, 0);
  }

  qtest::TempDir m_dir;
};

TEST_F(CliFileSafety, StdoutCarriesResultsOnlyAndAFullStdoutFails) {
  const fs::path store = m_dir.Path() / "store";
  fs::create_directories(m_dir.Path() / "empty");
  const CliRun missing = Cli("--store " + ShellQuote((m_dir.Path() / "empty").string()) + " history", m_dir.Path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err.rfind("连接数据库失败!", 0), 0u) << missing.err;

  fs::create_directories(store);
  const CliRun created = Cli("--store . init-store", store);
  EXPECT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(created.out, "");
  EXPECT_EQ(created.err, "已创建数据库：./dravo.mdb\n");
  qtest::WriteFileBytes(store / "m.mdl", qtest::ModelText(qrel::TaggedValues("m")));
  const CliRun imported = Cli("--store . import m.mdl", store);
  EXPECT_EQ(imported.status, 0);
  EXPECT_EQ(imported.out, "");
  EXPECT_EQ(imported.err, "插入成功!\n");
  const CliRun report = Cli("--store . report --xlsx r.xlsx", store);
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(report.out, "");
  EXPECT_EQ(report.err, "已写入报表：r.xlsx\n");

  for (const char* command : {"history", "report --csv", "spectrum", "handoff --no-launch"}) {
    SCOPED_TRACE(command);
    const CliRun ok = Cli(std::string("--store . ") + command, store);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_FALSE(ok.out.empty());
    const CliRun full = Cli(std::string("--store . ") + command, store, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("无法写入标准输出"), std::string::npos) << full.err;
  }
}

// Help and the version on standard output; an unknown command is named; a workbook never takes the
// place of an existing file without --force.
TEST_F(CliFileSafety, HelpVersionUnknownCommandAndExistingTargets) {
  for (const char* asked : {"--help", "-h", "--version"}) {
    const CliRun run = Cli(asked, m_dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(asked[2] == 'v' ? "qelmora-cli " : "usage: qelmora-cli", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(Cli("--store . frobnicate", m_dir.Path()).err.rfind("未知命令：frobnicate\n", 0), 0u);
  const fs::path store = m_dir.Path() / "store";
  StoreWithARow(store);
  for (const std::string command : {"report", "history"}) {
    const fs::path target = m_dir.Path() / (command + ".xlsx");
    qtest::WriteFileBytes(target, "older");
    const std::string args = "--store " + ShellQuote(store.string()) + " " + command + " --xlsx " + ShellQuote(target.string());
    const CliRun refused = Cli(args, m_dir.Path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("已存在"), std::string::npos) << refused.err;
    EXPECT_EQ(qtest::ReadFileBytes(target), "older");
    EXPECT_EQ(Cli(args + " --force", m_dir.Path()).status, 0);
    EXPECT_NE(qtest::ReadFileBytes(target), "older");
  }
}

// A relative store folder that begins with a blank is that folder, not the one without the blank; a
// relative model path is stored as the full path, a link on the way kept as it was named.
TEST_F(CliFileSafety, RelativeNamesAreTakenAsGiven) {
  const fs::path cwd = m_dir.Path() / "work";
  fs::create_directories(cwd / " sub");
  fs::create_directories(cwd / "sub");
  fs::create_directories(cwd / "models");
  fs::create_directory_symlink("models", cwd / "link");
  qtest::WriteFileBytes(cwd / "models" / "rel.mdl", qtest::ModelText(qrel::TaggedValues("rel")));

  ASSERT_EQ(Cli("--store ' sub' init-store", cwd).status, 0);
  EXPECT_TRUE(fs::exists(cwd / " sub" / "dravo.mdb"));
  EXPECT_FALSE(fs::exists(cwd / "sub" / "dravo.mdb"));
  const CliRun imported = Cli("--store ' sub' import ./models/rel.mdl link/rel.mdl", cwd);
  EXPECT_EQ(imported.status, 0) << imported.err;

  std::string sources;
  ASSERT_TRUE(qtest::RunStoreSql((cwd / " sub" / "dravo.mdb").string(), "SELECT source FROM table1 ORDER BY id;", &sources));
  EXPECT_EQ(sources, (cwd / "models" / "rel.mdl").string() + "\n" + (cwd / "link" / "rel.mdl").string() + "\n");
}

TEST_F(CliFileSafety, WorkbooksTakeATargetNameOf255Bytes) {
  const fs::path store = m_dir.Path() / "store";
  StoreWithARow(store);
  const fs::path out = m_dir.Path() / "out";
  fs::create_directories(out);
  std::string name;
  while (name.size() + 3 <= 255 - 5) name += "报";
  name += std::string(255 - 5 - name.size(), 'a') + ".xlsx";
  ASSERT_EQ(name.size(), 255u);

  for (const char* command : {"report", "history"}) {
    SCOPED_TRACE(command);
    const fs::path target = out / (std::string(1, command[0]) + name.substr(1));
    const CliRun run = Cli("--store " + ShellQuote(store.string()) + " " + command + " --xlsx " + ShellQuote(target.string()), out);
    EXPECT_EQ(run.status, 0) << run.err;
    const qtest::CommandResult read = qtest::RunCommand(
        "/usr/bin/python3 -c 'import sys, openpyxl; print(openpyxl.load_workbook(sys.argv[1]).sheetnames[0] != \"\")' " +
        ShellQuote(target.string()));
    EXPECT_EQ(read.output, "True\n");
  }
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++entries;
  EXPECT_EQ(entries, 2u);  // the two workbooks, no scratch file
}

// Another user who may write into the target folder replaces every new file there with a link to a
// file of someone else's. The report's scratch file is written through its descriptor only: the link
// is never written through. The history workbook and init-store's store, which their libraries open
// by name, are made inside a new folder of their own: no file at all appears in the shared folder.
TEST_F(CliFileSafety, AScratchFileSwappedForALinkIsNeverWrittenThrough) {
  const fs::path store = m_dir.Path() / "store";
  StoreWithARow(store);
  const fs::path shared = m_dir.Path() / "shared";
  fs::create_directories(shared);
  const fs::path victim = m_dir.Path() / "victim";
  qtest::WriteFileBytes(victim, "");  // an empty file is also an empty SQLite database

  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, shared.c_str(), IN_CREATE), 0);
  std::atomic<bool> stop{false};
  std::atomic<int> filesCreated{0};
  std::thread attacker([&] {
    alignas(inotify_event) char buffer[4096];
    while (!stop) {
      const ssize_t n = ::read(watch, buffer, sizeof buffer);
      for (ssize_t at = 0; n > 0 && at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && (event->mask & IN_ISDIR) == 0) {
          const fs::path swapped = shared / event->name;
          struct stat info {};
          const bool ownLink = ::lstat(swapped.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
          if (!ownLink && ::unlink(swapped.c_str()) == 0 && ::symlink(victim.c_str(), swapped.c_str()) == 0) ++filesCreated;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  });
  const auto waitForEvents = [&] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
  const std::string storeArg = "--store " + ShellQuote(store.string());
  Cli(storeArg + " report --xlsx " + ShellQuote((shared / "r.xlsx").string()), shared);
  waitForEvents();
  filesCreated = 0;
  const CliRun history = Cli(storeArg + " history --xlsx " + ShellQuote((shared / "h.xlsx").string()), shared);
  const CliRun created = Cli("--store " + ShellQuote(shared.string()) + " init-store", shared);
  waitForEvents();
  stop = true;
  attacker.join();
  ::close(watch);
  EXPECT_EQ(qtest::ReadFileBytes(victim), "");
  EXPECT_EQ(filesCreated, 0);
  EXPECT_EQ(history.status, 0) << history.err;
  EXPECT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(qtest::IntegrityCheck((shared / "dravo.mdb").string()), "ok");
}

// A FIFO where the location record goes is refused at once with "error(stp)" and left as it is.
TEST_F(CliFileSafety, TheLocationRecordIsARegularFileOrNothing) {
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  platform.systemDirectory = (m_dir.Path() / "system").string();
  platform.moduleFileName = (m_dir.Path() / "prog" / "qelmora").string();
  fs::create_directories(platform.systemDirectory);
  const fs::path record = m_dir.Path() / "system" / "121125.stp";
  ASSERT_EQ(::mkfifo(record.c_str(), 0600), 0);
  qtest::ScopedEnv dataHome("XDG_DATA_HOME", (m_dir.Path() / "data").string());

  qtest::RunDialogStartUp(boxes);
  CloseParameterStore();
  ASSERT_FALSE(boxes.Boxes().empty());
  EXPECT_EQ(boxes.Boxes().front().text, "error(stp)");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(record)));
}

// Without HOME the user's data folder is under the home of the password database, never /tmp.
TEST_F(CliFileSafety, WithoutHomeTheDataFolderIsInThePasswordDatabasesHome) {
  const std::optional<std::string> folder = qtest::RunAsNobody([] {
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    return RealPlatform().SystemDirectory();
  });
  if (!folder) GTEST_SKIP() << "needs root and the user nobody (nobody's home is never written)";
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  EXPECT_EQ(*folder, std::string(nobody->pw_dir) + "/.local/share/qelmora");
}

// shortcut reads the launcher back as the desktop does: one that cannot start the dialog program is
// a failure with code 3, not "Succeed!".
TEST_F(CliFileSafety, AShortcutThatCannotStartTheProgramFails) {
  struct Case {
    std::string folder;
    bool standIn;
    int status;
  };
  for (const Case& c : {Case{"plain", true, 0}, Case{"no-program", false, 1}, Case{"bad-\xff-utf8", true, 1},
                       Case{"per%cent", true, 1}}) {
    SCOPED_TRACE(c.folder);
    const fs::path bin = m_dir.Path() / c.folder;
    fs::create_directories(bin);
    const std::string tool = qrel::CliCopyIn(bin.string());
    if (c.standIn) {
      qtest::WriteFileBytes(bin / "qelmora", "#!/bin/sh\nexit 0\n");
      fs::permissions(bin / "qelmora", fs::perms::owner_all);
    }
    const qrel::ChildResult r = qrel::RunChild({tool, "shortcut"}, {"HOME=" + (m_dir.Path() / "home").string(),
                                                                 "XDG_DATA_HOME=" + (m_dir.Path() / "data").string(),
                                                                 "XDG_CONFIG_HOME=" + (m_dir.Path() / "config").string()});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.output, c.status == 0 ? "Succeed!\n" : "error short cut=3\n");
  }
}

}  // namespace
