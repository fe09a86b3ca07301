// Starting the simulation program on Linux: detached, in its working directory, without arguments,
// and a clear false for whatever cannot run.
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/platform.h"
#include "tests/handoff/handoff_test_util.h"

namespace fs = std::filesystem;

namespace {

class StartProgramTest : public ::testing::Test {
 protected:
  qtest::TempDir m_program;
  qtest::TempDir m_temp;
};

TEST_F(StartProgramTest, RunsDetachedInTheWorkingDirectoryWithoutArguments) {
  const fs::path exe = htest::InstallStandIn(m_program.Path());
  const std::string content(88, '\x5A');
  qtest::WriteFileBytes(m_temp.Path() / "~qe10.tmp", content);
  htest::ScopedEnv tmpdir("TMPDIR", m_temp.Path().string());

  ASSERT_TRUE(RealPlatform().StartProgram(exe.string(), (m_program.Path() / "sim").string()));
  const fs::path recordPath = m_program.Path() / "sim" / "record.txt";
  ASSERT_TRUE(htest::WaitForFile(recordPath));
  const htest::SimulatorRecord record = htest::ReadRecord(recordPath);
  EXPECT_EQ(fs::path(record.cwd), fs::canonical(m_program.Path() / "sim"));
  EXPECT_EQ(record.argumentCount, 0);
  EXPECT_TRUE(record.arguments.empty());
  // Its own session: not tied to this process's terminal or process group.
  EXPECT_NE(record.sessionId, static_cast<long>(::getsid(0)));
  EXPECT_EQ(record.fileSize, 88);
  EXPECT_EQ(record.fileHex, htest::Hex(content));
}

TEST_F(StartProgramTest, ReportsWhatCannotBeStarted) {
  const fs::path sim = m_program.Path() / "sim";
  fs::create_directories(sim);
  Platform& platform = RealPlatform();

  EXPECT_FALSE(platform.StartProgram((sim / "Kambrisolve.exe").string(), sim.string())) << "missing";

  fs::create_directory(sim / "Kambrisolve.exe");
  EXPECT_FALSE(platform.StartProgram((sim / "Kambrisolve.exe").string(), sim.string())) << "a directory";
  fs::remove(sim / "Kambrisolve.exe");

  const fs::path plain = sim / "plain.exe";
  fs::copy_file(QELMORA_STAND_IN_SIMULATOR, plain);
  fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(platform.StartProgram(plain.string(), sim.string())) << "no execute permission";

  // Executable bit but no program format the system knows: exec itself fails.
  const fs::path garbage = sim / "garbage.exe";
  qtest::WriteFileBytes(garbage, std::string("MZ\x90\0not an ELF file", 20));
  fs::permissions(garbage, fs::perms::owner_all);
  EXPECT_FALSE(platform.StartProgram(garbage.string(), sim.string())) << "exec fails";

  // A real program, but its working directory is gone.
  const fs::path exe = htest::InstallStandIn(m_program.Path());
  EXPECT_FALSE(platform.StartProgram(exe.string(), (m_program.Path() / "nowhere").string())) << "no working dir";
  EXPECT_FALSE(fs::exists(m_program.Path() / "nowhere"));
}

}  // namespace
