// The Windows platform layer against the real file system of the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/afx.h"
#include "base/platform.h"
#include "tests/support/test_support.h"

namespace {

// ASCII lower case (the paths compared here are ASCII).
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

TEST(WinPlatform, PathsComeFromTheSystem) {
  Platform& platform = RealPlatform();

  const std::string module = platform.ModuleFileName();
  ASSERT_GE(module.size(), 3u);
  EXPECT_EQ(module[1], ':');
  EXPECT_EQ(Lower(module.substr(module.size() - std::string("test_platform.exe").size())), "test_platform.exe");
  // The program directory is the module's drive and directory, with its trailing backslash.
  const std::string dir = ProgramDirectory();
  EXPECT_EQ(dir.back(), '\\');
  EXPECT_EQ(module.compare(0, dir.size(), dir), 0);
  EXPECT_EQ(module.find('\\', dir.size()), std::string::npos);

  // A 64-bit program's system directory is system32 of the prefix.
  const std::string system = platform.SystemDirectory();
  EXPECT_EQ(Lower(system), "c:\\windows\\system32");
  EXPECT_NE(GetFileAttributesA(system.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  const std::string temp = platform.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  const DWORD attributes = GetFileAttributesA(temp.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(WinPlatform, ExistsSeesFilesAndFolders) {
  qtest::TempDir dir;
  const std::string file = dir.Dir() + "Kambrisolve.exe";
  qtest::WriteFileBytes(file, "MZ");
  std::filesystem::create_directory(dir.Path() / "folder");

  Platform& platform = RealPlatform();
  EXPECT_TRUE(platform.Exists(file));
  EXPECT_TRUE(platform.Exists(dir.Dir() + "folder"));
  EXPECT_FALSE(platform.Exists(dir.Dir() + "missing.exe"));
  EXPECT_FALSE(platform.Exists(dir.Dir() + "missing\\Kambrisolve.exe"));
}

TEST(WinPlatform, ExclusiveWriteReplacesTheWholeFile) {
  qtest::TempDir dir;
  const std::string path = dir.Dir() + "121125.stp";
  qtest::WriteFileBytes(path, std::string(5000, 'x'));

  const std::string bytes = std::string("C:\\a.exe") + std::string(992, '\0');
  ASSERT_EQ(RealPlatform().WriteWholeFileExclusive(path, bytes), 0);
  EXPECT_EQ(qtest::ReadFileBytes(path), bytes);
  EXPECT_EQ(std::filesystem::file_size(path), 1000u);
}

TEST(WinPlatform, ExclusiveWriteReportsTheCauses) {
  qtest::TempDir dir;
  const std::string path = dir.Dir() + "held.bin";
  Platform& platform = RealPlatform();

  // Another handle holds the file without sharing: a sharing violation.
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform.WriteWholeFileExclusive(path, "abc"), FileException::sharingViolation);
  CloseHandle(held);
  EXPECT_EQ(platform.WriteWholeFileExclusive(path, "abc"), 0);
  EXPECT_EQ(qtest::ReadFileBytes(path), "abc");

  EXPECT_EQ(platform.WriteWholeFileExclusive(dir.Dir() + "no\\such\\dir\\f.bin", "abc"), FileException::badPath);

  // A folder cannot be opened as a file.
  std::filesystem::create_directory(dir.Path() / "sub");
  EXPECT_EQ(platform.WriteWholeFileExclusive(dir.Dir() + "sub", "abc"), FileException::accessDenied);
}

}  // namespace
