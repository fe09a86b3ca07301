// The Windows build of the simulator on Linux: recognised by its PE header, started under real Wine
// in a private prefix of the build tree, and handed the file in the temporary directory that Wine
// gives it. The cases that cannot start it (no wine, no run bit, no prefix) use a fake "wine" that
// only notes being run, so that no test ever reaches a real prefix of the user.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "handoff/handoff.h"
#include "base/wine_linux.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/handoff/transfer_fixture.h"
#include "tests/support/scripted_view.h"
#include "tests/support/shell_command.h"

namespace fs = std::filesystem;
using qtest::BoxKind;

namespace {

const std::vector<std::string> kRowTexts = {"1.2345E-07", "12.5", "3", "1.5E-3", "0.87", "6",
                                            "2,5",        "0.71", "1.25E+03", "0.012", "0.5"};
const std::vector<double> kRowValues = {1.2345E-07, 12.5, 3, 0.0015, 0.87, 6, 2.0, 0.71, 1.25E+03, 0.012, 0.5};

// "MZ", the offset of the signature at 0x3C (little-endian), and the signature there.
std::string PeLike(std::uint32_t offset, const std::string& signature, std::size_t size) {
  std::string bytes(size, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>(offset >> (8 * i));
  if (offset + signature.size() <= size) bytes.replace(offset, signature.size(), signature);
  return bytes;
}

// No hand-off file (nor a temporary one of its writing) in the directory.
bool NoHandoffFileIn(const fs::path& dir) {
  for (const std::string& name : htest::Names(dir)) {
    if (name.find("qe10") != std::string::npos) return false;
  }
  return true;
}

void WriteProgram(const fs::path& path, const std::string& bytes, bool runBit) {
  fs::create_directories(path.parent_path());
  qtest::WriteFileBytes(path, bytes);
  fs::permissions(path, runBit ? fs::perms(0755) : fs::perms(0644));
}

TEST(PeImageTest, MzAndThePeSignatureAtTheStoredOffset) {
  qtest::TempDir dir;
  const fs::path file = dir.Path() / "prog.exe";
  const std::string pe("PE\0\0", 4);

  WriteProgram(file, PeLike(0x80, pe, 0x200), false);
  EXPECT_TRUE(wine::IsPeImage(file.string())) << "a PE image without its run bit";
  WriteProgram(file, PeLike(0x1FC, pe, 0x200), true);
  EXPECT_TRUE(wine::IsPeImage(file.string())) << "the signature in the last four bytes";
  WriteProgram(file, PeLike(0x1FD, pe, 0x200), true);
  EXPECT_FALSE(wine::IsPeImage(file.string())) << "a signature cut off by the end of the file";
  WriteProgram(file, PeLike(0xFFFFFFF0u, pe, 0x200), true);
  EXPECT_FALSE(wine::IsPeImage(file.string())) << "an offset far beyond the end";
  WriteProgram(file, PeLike(0x80, std::string("PE\0\1", 4), 0x200), true);
  EXPECT_FALSE(wine::IsPeImage(file.string())) << "a wrong signature (an old NE or LE image)";
  WriteProgram(file, "MZ", true);
  EXPECT_FALSE(wine::IsPeImage(file.string())) << "only MZ";
  WriteProgram(file, "#!/bin/sh\nexit 0\n", true);
  EXPECT_FALSE(wine::IsPeImage(file.string())) << "a script";
  EXPECT_FALSE(wine::IsPeImage(QELMORA_CLI)) << "an ELF program";
  EXPECT_FALSE(wine::IsPeImage(dir.Path().string())) << "a directory";
  EXPECT_FALSE(wine::IsPeImage((dir.Path() / "missing.exe").string())) << "no file";
  if (fs::exists(QELMORA_WIN_STAND_IN)) {
    EXPECT_TRUE(wine::IsPeImage(QELMORA_WIN_STAND_IN)) << "a MinGW program";
    EXPECT_EQ(wine::PeImageMachine(QELMORA_WIN_STAND_IN), wine::PeMachine::Amd64);
  }
  if (fs::exists(QELMORA_WIN32_STAND_IN)) EXPECT_EQ(wine::PeImageMachine(QELMORA_WIN32_STAND_IN), wine::PeMachine::I386);
  WriteProgram(file, PeLike(0x1FC, pe, 0x200), true);
  EXPECT_EQ(wine::PeImageMachine(file.string()), wine::PeMachine::Other) << "the machine field cut off";
}

TEST(WineLocationTest, PrefixFromWineprefixElseHomeAndWineFromPath) {
  {
    htest::ScopedEnv prefix("WINEPREFIX", "/srv/wine/pfx/");
    EXPECT_EQ(wine::PrefixDirectory(), "/srv/wine/pfx");
  }
  {
    htest::ScopedEnv prefix("WINEPREFIX", std::nullopt);
    htest::ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(wine::PrefixDirectory(), "/home/someone/.wine");
  }

  qtest::TempDir dirs;
  const fs::path notRunnable = dirs.Path() / "a";
  const fs::path runnable = dirs.Path() / "b";
  WriteProgram(notRunnable / "wine", "#!/bin/sh\n", false);
  WriteProgram(runnable / "wine", "#!/bin/sh\n", true);
  fs::create_directories(dirs.Path() / "c" / "wine");  // a directory of that name
  const fs::path cwd = fs::current_path();
  {
    // Relative entries (the empty one is the current directory) are never searched.
    htest::ScopedEnv path("PATH", ":.:" + notRunnable.string() + ":" + (dirs.Path() / "c").string() + ":" +
                                      runnable.string() + "/:/nowhere");
    fs::current_path(runnable);
    EXPECT_EQ(wine::FindWine(), (runnable / "wine").string());
  }
  {
    htest::ScopedEnv path("PATH", ":.:" + notRunnable.string());
    EXPECT_EQ(wine::FindWine(), "");
  }
  fs::current_path(cwd);
}

// "Transfer data" of one stored row.
class WineHandoffTest : public htest::TransferFixture {
 protected:
  void SetUp() override {
    TransferFixture::SetUp();
    Append(htest::TextRow(kRowTexts));
  }

  fs::path Simulator() const { return Sim() / "Kambrisolve.exe"; }
  std::string Expected() const { return htest::LittleEndianImage(kRowValues); }

  // Nothing written, nothing started, the dialog still open, one message saying why.
  void ExpectRefusedWith(const std::string& part) {
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].kind, BoxKind::App);
    EXPECT_NE(m_boxes.Boxes()[0].text.find(part), std::string::npos) << m_boxes.Boxes()[0].text;
    EXPECT_TRUE(m_platform.started.empty());
    EXPECT_TRUE(m_view.endResults.empty());
    EXPECT_TRUE(NoHandoffFileIn(m_temp.Path())) << testing::PrintToString(htest::Names(m_temp.Path()));
  }
};

// A fake wine first in PATH and an empty prefix of the test: a real one is never reached. Wine's
// 64-bit loader (run where 32-bit programs cannot run) is the same fake.
class RefusedStartTest : public WineHandoffTest {
 protected:
  void SetUp() override {
    WineHandoffTest::SetUp();
    FakeWine("#!/bin/sh\ntouch '" + Marker().string() + "'\n");
  }

  void FakeWine(const std::string& script) const {
    WriteProgram(m_bin.Path() / "wine", script, true);
    WriteProgram(m_bin.Path() / "wine64", script, true);
  }

  fs::path Marker() const { return m_scratch.Path() / "wine-was-run"; }
  fs::path Prefix() const { return m_scratch.Path() / "prefix"; }

  qtest::TempDir m_bin;
  qtest::TempDir m_scratch;
  htest::ScopedEnv m_path{"PATH", m_bin.Path().string() + ":/usr/bin:/bin"};
  htest::ScopedEnv m_prefix{"WINEPREFIX", Prefix().string()};
};

TEST_F(RefusedStartTest, WindowsProgramWithoutWineOnPathIsExplainedAndNothingIsWritten) {
  WriteProgram(Simulator(), PeLike(0x80, std::string("PE\0\0", 4), 0x400), false);
  htest::ScopedEnv path("PATH", m_scratch.Path().string());  // no wine at all

  Transfer();

  ExpectRefusedWith("未找到 Wine，无法运行 Windows 程序 Kambrisolve.exe；请安装 wine");
  EXPECT_FALSE(fs::exists(Prefix()));
}

TEST_F(RefusedStartTest, FileNeitherRunnableNorWindowsProgramIsExplainedAndNothingIsWritten) {
  WriteProgram(Simulator(), "#!/bin/sh\nexit 0\n", false);

  Transfer();

  ExpectRefusedWith("既不是可运行的程序，也不是 Windows 程序");
  EXPECT_NE(m_boxes.Boxes()[0].text.find(Simulator().string()), std::string::npos);
  EXPECT_FALSE(fs::exists(Marker()));

  // With its run bit it is a native program again: file in $TMPDIR, started directly.
  m_boxes.Clear();
  fs::permissions(Simulator(), fs::perms(0755));
  Transfer();
  EXPECT_TRUE(m_boxes.Boxes().empty()) << m_boxes.Texts().front();
  EXPECT_EQ(qtest::ReadFileBytes(m_temp.Path() / "~qe10.tmp"), Expected());
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
}

TEST_F(RefusedStartTest, PrefixNotSetUpIsExplainedAndNotCreated) {
  WriteProgram(Simulator(), PeLike(0x80, std::string("PE\0\0", 4), 0x400), true);

  Transfer();

  ExpectRefusedWith("Wine 环境 " + Prefix().string() + " 尚未建立");
  EXPECT_FALSE(fs::exists(Prefix()));
  EXPECT_FALSE(fs::exists(Marker())) << "wine was run and could have made the prefix";
}

TEST_F(RefusedStartTest, WineThatNamesNoTemporaryDirectoryIsExplainedAndNothingIsWritten) {
  WriteProgram(Simulator(), PeLike(0x80, std::string("PE\0\0", 4), 0x400), false);
  fs::create_directories(Prefix());
  qtest::WriteFileBytes(Prefix() / "system.reg", "");
  qtest::WriteFileBytes(Prefix() / "user.reg", "");
  // Asked for %TMP%, this wine answers with the variable unexpanded, then with a missing directory.
  FakeWine("#!/bin/sh\necho '%TMP%'\n");
  Transfer();
  ExpectRefusedWith("无法确定 Wine 环境 " + Prefix().string() + " 的临时目录");

  m_boxes.Clear();
  FakeWine("#!/bin/sh\necho '" + (Prefix() / "no-such-dir").string() + "'\n");
  Transfer();
  ExpectRefusedWith("no-such-dir 不存在");
  EXPECT_EQ(htest::Names(Prefix()), (std::vector<std::string>{"system.reg", "user.reg"}));
}

// Real Wine, in the prefix of the build tree (made once by scripts/wine-run.sh under its lock).
class RealWineTest : public WineHandoffTest {
 protected:
  void SetUp() override {
    if (!fs::exists(QELMORA_WIN_STAND_IN)) GTEST_SKIP() << "no MinGW compiler: the Windows stand-in was not built";
    if (wine::FindWine().empty()) GTEST_SKIP() << "wine is not installed";
    const qtest::CommandResult init = qtest::RunCommand("QELMORA_WINE_ROOT=" + qtest::ShellQuote(QELMORA_WINE_ROOT) +
                                                        " QELMORA_WINE_INIT_ONLY=1 " +
                                                        qtest::ShellQuote(QELMORA_WINE_RUN) + " 2>&1");
    ASSERT_EQ(init.status, 0) << init.output;
    // The cases share the prefix's temporary directory and its one file name: one at a time.
    m_lock = ::open((m_root + "/wine/handoff-tests.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(m_lock, 0);
    ASSERT_EQ(::flock(m_lock, LOCK_EX), 0);
    WineHandoffTest::SetUp();
  }

  ~RealWineTest() override {
    if (m_lock >= 0) ::close(m_lock);
  }

  // The prefix's temporary directory, asked of wine by the shell: %TMP% through cmd, then winepath.
  fs::path PrefixTemp() const {
    const std::string run = "QELMORA_WINE_ROOT=" + qtest::ShellQuote(m_root) + " " + qtest::ShellQuote(QELMORA_WINE_RUN);
    const qtest::CommandResult windows = qtest::RunCommand(run + " cmd.exe /c echo %TMP% 2>/dev/null | tr -d '\\r'");
    std::string path = windows.output.substr(0, windows.output.find('\n'));
    const qtest::CommandResult unix =
        qtest::RunCommand(run + " winepath.exe -u " + qtest::ShellQuote(path) + " 2>/dev/null | tr -d '\\r'");
    return fs::path(unix.output.substr(0, unix.output.find('\n')));
  }

  // The stand-in's record once it appears (a cold wine takes seconds to start it).
  htest::SimulatorRecord WaitForRecord() const {
    EXPECT_TRUE(htest::WaitForFile(Record(), std::chrono::seconds(120)));
    return htest::ReadRecord(Record());
  }

  // Copied without its run bit, as files from a Windows archive often are.
  void InstallWindowsStandIn(const char* standIn = QELMORA_WIN_STAND_IN) const {
    fs::create_directories(Sim());
    fs::copy_file(standIn, Simulator());
    fs::permissions(Simulator(), fs::perms(0644));
  }

  const std::string m_root = QELMORA_WINE_ROOT;
  int m_lock = -1;
  htest::ScopedEnv m_wineprefix{"WINEPREFIX", m_root + "/wine/prefix"};
  htest::ScopedEnv m_home{"HOME", m_root + "/wine/home"};
  htest::ScopedEnv m_winearch{"WINEARCH", "win64"};
  htest::ScopedEnv m_winedebug{"WINEDEBUG", "-all"};
  htest::ScopedEnv m_overrides{"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"};
  htest::ScopedEnv m_locale{"LC_ALL", "zh_CN.UTF-8"};
  htest::ScopedEnv m_display{"DISPLAY", std::nullopt};
};

// "Z:" and the Unix path with backslashes: where Wine shows a Unix directory to a Windows program.
std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::canonical(path).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// A link planted at the name is replaced, never written through.
TEST_F(RealWineTest, TransferDataStartsTheWindowsSimulatorWhichReadsTheSetFromItsTemp) {
  InstallWindowsStandIn();
  const fs::path prefixTemp = PrefixTemp();
  ASSERT_TRUE(fs::is_directory(prefixTemp)) << prefixTemp;
  const fs::path victim = m_program.Path() / "victim.txt";
  qtest::WriteFileBytes(victim, "must stay as it is");
  fs::remove(prefixTemp / "~qe10.tmp");
  fs::create_symlink(victim, prefixTemp / "~qe10.tmp");

  Transfer();

  EXPECT_TRUE(m_boxes.Boxes().empty()) << m_boxes.Texts().front();
  EXPECT_EQ(qtest::ReadFileBytes(victim), "must stay as it is");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(prefixTemp / "~qe10.tmp")));
  EXPECT_EQ(m_platform.started, (std::vector<std::pair<std::string, std::string>>{{Simulator().string(), Sim().string()}}));
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk});
  EXPECT_TRUE(NoHandoffFileIn(m_temp.Path())) << testing::PrintToString(htest::Names(m_temp.Path()));

  const htest::SimulatorRecord record = WaitForRecord();
  EXPECT_EQ(record.cwd, WindowsPath(Sim()));
  EXPECT_EQ(record.argumentCount, 0);
  EXPECT_EQ(record.fileSize, 88);
  EXPECT_EQ(record.fileHex, htest::Hex(Expected()));
  EXPECT_EQ(qtest::ReadFileBytes(prefixTemp / "~qe10.tmp"), Expected());
}

// A 32-bit simulator runs where 32-bit programs run (under Wine's 32-bit loader); elsewhere it is
// refused with the reason, before anything is written, and the dialog stays open.
TEST_F(RealWineTest, A32BitSimulatorStartsWhere32BitProgramsRunAndIsRefusedWithTheReasonElsewhere) {
  if (!fs::exists(QELMORA_WIN32_STAND_IN)) GTEST_SKIP() << "no 32-bit MinGW compiler: the 32-bit stand-in was not built";
  const bool runs32 = qtest::RunCommand(qtest::ShellQuote(QELMORA_WINE_KIND) + " --32 >/dev/null").status == 0;
  EXPECT_EQ(wine::CanRun32BitPrograms(), runs32) << "the program and scripts/wine-kind.sh disagree";
  InstallWindowsStandIn(QELMORA_WIN32_STAND_IN);
  const fs::path prefixTemp = PrefixTemp();
  fs::remove(prefixTemp / "~qe10.tmp");
  Transfer();

  if (!runs32) {
    ExpectRefusedWith("Kambrisolve.exe 是 32 位的 Windows 程序，而这台计算机不能运行 32 位程序（系统内核不执行它们），"
                      "无法启动；请改用 64 位的 Kambrisolve.exe");
    EXPECT_FALSE(fs::exists(prefixTemp / "~qe10.tmp"));
    return;
  }
  EXPECT_EQ(m_view.endResults, std::vector<int>{kIdOk}) << testing::PrintToString(m_boxes.Texts());
  EXPECT_EQ(WaitForRecord().fileHex, htest::Hex(Expected()));
}

TEST_F(RealWineTest, CliNoLaunchPrintsTheFileInThePrefixTempAndStartsNothing) {
  InstallWindowsStandIn();
  fs::copy_file(QELMORA_CLI, m_program.Path() / "qelmora-cli");
  const fs::path prefixTemp = PrefixTemp();
  fs::remove(prefixTemp / "~qe10.tmp");
  TearDown();  // the tool opens the store itself

  const fs::path err = m_temp.Path() / "stderr.txt";
  const qtest::CommandResult run = qtest::RunCommand(
      qtest::ShellQuote((m_program.Path() / "qelmora-cli").string()) + " --store " + qtest::ShellQuote(m_program.Dir()) +
      " handoff --no-launch 2>" + qtest::ShellQuote(err.string()));

  EXPECT_EQ(run.status, 0) << qtest::ReadFileBytes(err);
  EXPECT_EQ(run.output, (prefixTemp / "~qe10.tmp").string() + "\n");
  EXPECT_EQ(qtest::ReadFileBytes(prefixTemp / "~qe10.tmp"), Expected());
  EXPECT_FALSE(fs::exists(Record()));
}

// The tool shows its messages on standard error, as all its commands do; no path is printed.
TEST_F(RefusedStartTest, CliWithoutWineSaysWhyAndExitsOne) {
  WriteProgram(Simulator(), PeLike(0x80, std::string("PE\0\0", 4), 0x400), false);
  fs::copy_file(QELMORA_CLI, m_program.Path() / "qelmora-cli");
  TearDown();
  const fs::path err = m_scratch.Path() / "stderr.txt";

  const qtest::CommandResult run = qtest::RunCommand(
      "PATH=/nowhere " + qtest::ShellQuote((m_program.Path() / "qelmora-cli").string()) + " --store " +
      qtest::ShellQuote(m_program.Dir()) + " handoff --no-launch 2>" + qtest::ShellQuote(err.string()));

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(qtest::ReadFileBytes(err), "未找到 Wine，无法运行 Windows 程序 Kambrisolve.exe；请安装 wine\n");
  EXPECT_EQ(run.output, "");
  EXPECT_TRUE(NoHandoffFileIn(m_temp.Path()));
}

// Wine that refuses the program at once ("ShellExecuteEx failed") is a failed start: the notice,
// exit 1; the file was written.
TEST_F(RefusedStartTest, CliStartThatWineRefusesAtOnceIsAFailedStart) {
  WriteProgram(Simulator(), PeLike(0x80, std::string("PE\0\0", 4), 0x400), false);
  fs::create_directories(Prefix() / "tmp");
  qtest::WriteFileBytes(Prefix() / "system.reg", "");
  qtest::WriteFileBytes(Prefix() / "user.reg", "");
  FakeWine("#!/bin/sh\n[ \"$1\" = cmd.exe ] && echo '" + (Prefix() / "tmp").string() +
           "' && exit 0\necho 'ShellExecuteEx failed' >&2\nexit 1\n");
  fs::copy_file(QELMORA_CLI, m_program.Path() / "qelmora-cli");
  TearDown();
  const fs::path err = m_scratch.Path() / "stderr.txt";
  const qtest::CommandResult run = qtest::RunCommand(qtest::ShellQuote((m_program.Path() / "qelmora-cli").string()) +
                                                     " --store " + qtest::ShellQuote(m_program.Dir()) + " handoff 2>" +
                                                     qtest::ShellQuote(err.string()));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(qtest::ReadFileBytes(err).find("To be updated!\n"), std::string::npos) << qtest::ReadFileBytes(err);
  EXPECT_EQ(qtest::ReadFileBytes(Prefix() / "tmp" / "~qe10.tmp"), Expected());
}

}  // namespace
