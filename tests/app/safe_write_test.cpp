// The safe file write of the Linux build: what happens when the file cannot be written, and what is
// left in the directory then (the old target and nothing else).
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "base/safe_write_linux.h"
#include "tests/support/shell_command.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class SafeWrite : public ::testing::Test {
 protected:
  qtest::TempDir m_dir;
  fs::path Target() const { return m_dir.Path() / "target.bin"; }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the write and gives the error it raised (a default error when it raised none).
  FileSystemError Failure(const std::function<void()>& write) {
    try {
      write();
    } catch (const FileSystemError& e) {
      return e;
    }
    ADD_FAILURE() << "the write did not fail";
    return FileSystemError(FileSystemError::Step::create, "", 0);
  }
};

TEST_F(SafeWrite, ReplacesTheContentWithTheModeGivenAndLeavesNoScratchFile) {
  qtest::WriteFileBytes(Target(), "old content, longer than the new");
  WriteFileSafely(Target().string(), std::string("new\0bytes", 9), {.mode = 0640});
  EXPECT_EQ(qtest::ReadFileBytes(Target()), std::string("new\0bytes", 9));
  struct stat info {};
  ASSERT_EQ(::stat(Target().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});
}

TEST_F(SafeWrite, ALinkAtTheTargetIsReplacedNotFollowed) {
  const fs::path elsewhere = m_dir.Path() / "elsewhere";
  qtest::WriteFileBytes(elsewhere, "not to be written");
  fs::create_symlink(elsewhere, Target());
  WriteFileSafely(Target().string(), "new");
  EXPECT_FALSE(fs::is_symlink(Target()));
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "new");
  EXPECT_EQ(qtest::ReadFileBytes(elsewhere), "not to be written");
}

TEST_F(SafeWrite, ADirectoryInTheWayFailsTheRenameAndIsLeftAsItWas) {
  fs::create_directory(Target());
  qtest::WriteFileBytes(Target() / "inside", "kept");
  const FileSystemError e = Failure([&] { WriteFileSafely(Target().string(), "new"); });
  EXPECT_EQ(e.step(), FileSystemError::Step::rename);
  EXPECT_EQ(e.path(), Target().string());
  EXPECT_TRUE(e.error() == EISDIR || e.error() == ENOTEMPTY || e.error() == EEXIST) << e.what();
  EXPECT_EQ(qtest::ReadFileBytes(Target() / "inside"), "kept");
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});
}

TEST_F(SafeWrite, WithoutReplaceAnExistingNameOrDanglingLinkIsLeftAlone) {
  qtest::WriteFileBytes(Target(), "first");
  const FileSystemError e = Failure([&] { WriteFileSafely(Target().string(), "second", {.replace = false}); });
  EXPECT_EQ(e.step(), FileSystemError::Step::rename);
  EXPECT_EQ(e.error(), EEXIST);
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "first");

  const fs::path dangling = m_dir.Path() / "dangling";
  fs::create_symlink(m_dir.Path() / "nowhere", dangling);
  EXPECT_EQ(Failure([&] { WriteFileSafely(dangling.string(), "x", {.replace = false}); }).error(), EEXIST);
  EXPECT_FALSE(fs::exists(m_dir.Path() / "nowhere"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"dangling", "target.bin"}));

  WriteFileSafely((m_dir.Path() / "free").string(), "third", {.replace = false});
  EXPECT_EQ(qtest::ReadFileBytes(m_dir.Path() / "free"), "third");
}

TEST_F(SafeWrite, AFullDiskKeepsTheOldFileAndRemovesTheScratchFile) {
  // A file size limit fails the write as a full disk does, in a child so the limit stays there.
  qtest::WriteFileBytes(Target(), "old");
  const std::string text = qtest::RunInChild(
      [&] {
        const FileSystemError e = Failure([&] { WriteFileSafely(Target().string(), std::string(64 * 1024, 'x')); });
        return std::to_string(static_cast<int>(e.step())) + " " + std::to_string(e.error());
      },
      [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      });
  EXPECT_EQ(text, std::to_string(static_cast<int>(FileSystemError::Step::write)) + " " + std::to_string(EFBIG));
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});
}

TEST_F(SafeWrite, AnUnwritableOrMissingFolderFailsTheCreateAndNamesTheFolder) {
  const FileSystemError missing = Failure([&] { WriteFileSafely((m_dir.Path() / "no" / "f").string(), "x"); });
  EXPECT_EQ(missing.step(), FileSystemError::Step::create);
  EXPECT_EQ(missing.error(), ENOENT);
  EXPECT_EQ(missing.path(), (m_dir.Path() / "no").string() + "/");

  ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
  const auto refused = qtest::RunAsNobody([&] {
    const FileSystemError e = Failure([&] { WriteFileSafely(Target().string(), "x"); });
    return std::to_string(static_cast<int>(e.step())) + " " + std::to_string(e.error());
  });
  if (!refused) GTEST_SKIP() << "needs root and the user nobody to try an unwritable folder";
  EXPECT_EQ(*refused, std::to_string(static_cast<int>(FileSystemError::Step::create)) + " " + std::to_string(EACCES));
  EXPECT_TRUE(Names().empty());
}

TEST_F(SafeWrite, AFailureOfTheFillPassesOnAndLeavesNothing) {
  qtest::WriteFileBytes(Target(), "old");
  EXPECT_THROW(WriteFileSafelyWith(Target().string(), {},
                                   [](int fd, const std::string&) {
                                     (void)!::write(fd, "partial", 7);
                                     throw std::runtime_error("library failed");
                                   }),
               std::runtime_error);
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});
}

// A library that opens the file by name and makes its own files beside it: it gets the target's
// name inside a folder only this user can enter; the folder and its leftovers go, on success and on
// failure alike.
TEST_F(SafeWrite, APrivateFolderHoldsTheNewFileAndGoesAfterwards) {
  const SafeWriteOptions inFolder{.privateDirectory = true};
  WriteFileSafelyWith(Target().string(), inFolder, [](int, const std::string& scratch) {
    struct stat folder {};
    ASSERT_EQ(::stat(fs::path(scratch).parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    EXPECT_EQ(fs::path(scratch).filename(), "target.bin");
    qtest::WriteFileBytes(scratch, "by name");
    qtest::WriteFileBytes(scratch + "-journal", "left over");
  });
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "by name");
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});

  EXPECT_THROW(WriteFileSafelyWith(Target().string(), inFolder,
                                   [](int, const std::string& scratch) {
                                     qtest::WriteFileBytes(scratch + "-journal", "left over");
                                     throw std::runtime_error("library failed");
                                   }),
               std::runtime_error);
  EXPECT_EQ(qtest::ReadFileBytes(Target()), "by name");
  EXPECT_EQ(Names(), std::vector<std::string>{"target.bin"});
}

}  // namespace
