// The hand-off on Windows: the file name the system forms, the 88 bytes in it, and the start of the
// simulation program by ShellExecuteA in its "sim" folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "base/platform.h"
#include "handoff/handoff.h"
#include "tests/support/test_support.h"

namespace {

std::string TempDirectory() {
  char buffer[MAX_PATH] = {};
  GetTempPathA(sizeof buffer, buffer);
  return buffer;
}

ParameterSet KnownSet() {
  return {"1e-7", "12.5", "100", "1e-5", "1", "1500", "2.3e-5", "0.87", "", "abc", "2,5"};
}

TEST(WinHandoff, TheFileIsTilde_qe10_tmpInTheTemporaryDirectory) {
  const std::string path = HandoffFilePath(ThePlatform().TempPath());
  EXPECT_EQ(path, TempDirectory() + "~qe10.tmp");
  // Forming the name creates nothing.
  std::filesystem::remove(path);
  EXPECT_EQ(HandoffFilePath(ThePlatform().TempPath()), path);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WinHandoff, WritesExactlyTheEncodedBytesOverAnyOldFile) {
  const std::string path = HandoffFilePath(ThePlatform().TempPath());
  qtest::WriteFileBytes(path, std::string(4096, 'x'));

  const HandoffBytes bytes = EncodeHandoff(KnownSet());
  ASSERT_NO_THROW(WriteHandoffFile(path, bytes));
  const std::string written = qtest::ReadFileBytes(path);
  ASSERT_EQ(written.size(), 88u);

  // Read back as the simulation program would: eleven little-endian doubles.
  const double expected[11] = {1e-7, 12.5, 100, 1e-5, 1, 1500, 2.3e-5, 0.87, 0.0, 0.0, 2.0};
  for (int i = 0; i < 11; ++i) {
    double value;
    std::memcpy(&value, written.data() + 8 * i, 8);
    EXPECT_EQ(value, expected[i]) << "field " << i;
  }
  std::filesystem::remove(path);
}

TEST(WinHandoff, AFileHeldByAnotherOpenerIsReportedAndLeftAlone) {
  qtest::TempDir dir;
  const std::string path = dir.Dir() + "~qe10.tmp";
  qtest::WriteFileBytes(path, "old");
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_THROW(WriteHandoffFile(path, EncodeHandoff(KnownSet())), OperationError);
  CloseHandle(held);
  EXPECT_EQ(qtest::ReadFileBytes(path), "old");

  EXPECT_THROW(WriteHandoffFile(dir.Dir() + "missing\\~qe10.tmp", EncodeHandoff(KnownSet())), OperationError);
}

TEST(WinHandoff, TheSimulationProgramStartsInItsSimFolder) {
  qtest::TempDir program;
  qtest::TestPlatform platform;
  platform.moduleFileName = program.Dir() + "qelmora.exe";
  platform.startReal = true;
  std::filesystem::create_directory(program.Path() / "sim");
  ASSERT_TRUE(CopyFileA(QELMORA_SIM_STANDIN, (program.Dir() + "sim\\Kambrisolve.exe").c_str(), FALSE));

  const std::string simulator = SimulatorProgramPath();
  const std::string folder = SimulatorWorkingDirectory();
  EXPECT_EQ(simulator, program.Dir() + "sim\\Kambrisolve.exe");
  EXPECT_EQ(folder, program.Dir() + "sim");
  ASSERT_TRUE(ThePlatform().StartProgram(simulator, folder));

  // The stand-in writes the folder it was started in.
  const std::filesystem::path record = program.Path() / "sim" / "started.txt";
  for (int i = 0; i < 300 && !std::filesystem::exists(record); ++i) Sleep(100);
  Sleep(200);
  ASSERT_TRUE(std::filesystem::exists(record));
  EXPECT_EQ(lstrcmpiA(qtest::ReadFileBytes(record).c_str(), folder.c_str()), 0) << qtest::ReadFileBytes(record);
}

TEST(WinHandoff, AMissingSimulationProgramIsAFailedStart) {
  qtest::TempDir program;
  EXPECT_FALSE(RealPlatform().StartProgram(program.Dir() + "sim\\Kambrisolve.exe", program.Dir() + "sim"));
}

}  // namespace
