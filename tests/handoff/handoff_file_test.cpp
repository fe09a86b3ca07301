// The hand-off file: its 88 bytes, its name, and the safe replacement of whatever lies at that name.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <functional>

#include <gtest/gtest.h>

#include "handoff/handoff.h"
#include "tests/handoff/handoff_test_util.h"
#ifndef _WIN32
#include "tests/support/shell_command.h"
#endif

namespace fs = std::filesystem;
using htest::Hex;
using htest::LittleEndianImage;

namespace {

std::string AsString(const HandoffBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

ParameterSet Row(const std::vector<std::string>& texts) {
  ParameterSet row;
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = texts.at(i);
  return row;
}

TEST(HandoffEncoding, SimpleValuesGiveTheirKnownLittleEndianPatterns) {
  const ParameterSet row = Row({"1", "2", "0.5", "-1", "0", "1.0", "2.", "-0.5", "-2", "0.0", "1"});
  EXPECT_EQ(Hex(AsString(EncodeHandoff(row))),
            "000000000000f03f"    // L0 = 1
            "0000000000000040"    // R0 = 2
            "000000000000e03f"    // R1 = 0.5
            "000000000000f0bf"    // CPE1-T = -1
            "0000000000000000"    // CPE1-P = 0
            "000000000000f03f"    // R2 = 1
            "0000000000000040"    // CPE2-T = 2
            "000000000000e0bf"    // CPE2-P = -0.5
            "00000000000000c0"    // R3 = -2
            "0000000000000000"    // CPE3-T = 0
            "000000000000f03f");  // CPE3-P = 1
}

TEST(HandoffEncoding, FittedValuesInTableOrder) {
  const ParameterSet row = Row({"1.2345E-07", "12.5", "33.17", "1.1E-05", "0.87", "250.4", "3.3E-04", "0.71",
                                "1.25E+03", "0.012", "0.5"});
  EXPECT_EQ(Hex(AsString(EncodeHandoff(row))),
            Hex(LittleEndianImage({1.2345E-07, 12.5, 33.17, 1.1E-05, 0.87, 250.4, 3.3E-04, 0.71, 1.25E+03, 0.012, 0.5})));
}

TEST(HandoffEncoding, TextsConvertAsAtofDoes) {
  // NULL (empty), an exponent, no number at all, a decimal comma, white space and trailing junk,
  // each at its own offset; the values around them must be unaffected.
  const ParameterSet row = Row({"3", "", "1.5E-3", "abc", "2,5", "  \t7.25", "-4e2xyz", "", ".5", "+.25e1", "9"});
  const std::string bytes = AsString(EncodeHandoff(row));
  ASSERT_EQ(bytes.size(), 88u);
  EXPECT_EQ(Hex(bytes), Hex(LittleEndianImage({3.0, 0.0, 0.0015, 0.0, 2.0, 7.25, -400.0, 0.0, 0.5, 2.5, 9.0})));
  EXPECT_EQ(Hex(bytes.substr(8, 8)), "0000000000000000");   // the NULL column
  EXPECT_EQ(Hex(bytes.substr(32, 8)), "0000000000000040");  // "2,5" -> 2.0
}

// The file itself, as the Linux build writes it (the Windows build's writer is tested in tests/win).
#ifndef _WIN32
class HandoffFileWrite : public ::testing::Test {
 protected:
  qtest::TempDir m_dir;
  fs::path Target() const { return m_dir.Path() / kHandoffFileName; }
  HandoffBytes m_bytes = EncodeHandoff(Row({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  std::string Expected() const { return AsString(m_bytes); }
};

TEST_F(HandoffFileWrite, NewFileHoldsExactlyTheBytesAndNothingIsLeftBeside) {
  EXPECT_NO_THROW(WriteHandoffFile(Target().string(), m_bytes));
  EXPECT_EQ(qtest::ReadFileBytes(Target()), Expected());
  EXPECT_EQ(htest::Names(m_dir.Path()), std::vector<std::string>{kHandoffFileName});
}

TEST_F(HandoffFileWrite, ExistingFileOfAnySizeIsReplacedWhole) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{87}, std::size_t{88}, std::size_t{89},
                           std::size_t{100000}}) {
    SCOPED_TRACE(size);
    qtest::WriteFileBytes(Target(), std::string(size, '\xAB'));
    ASSERT_EQ(fs::file_size(Target()), size);
    EXPECT_NO_THROW(WriteHandoffFile(Target().string(), m_bytes));
    EXPECT_EQ(qtest::ReadFileBytes(Target()), Expected());
    EXPECT_EQ(htest::Names(m_dir.Path()), std::vector<std::string>{kHandoffFileName});
  }
}

TEST_F(HandoffFileWrite, PlantedSymbolicLinkIsReplacedNeverWrittenThrough) {
  qtest::TempDir elsewhere;
  const fs::path victim = elsewhere.Path() / "precious.dat";
  qtest::WriteFileBytes(victim, "not yours to overwrite");
  fs::create_symlink(victim, Target());

  EXPECT_NO_THROW(WriteHandoffFile(Target().string(), m_bytes));
  EXPECT_EQ(qtest::ReadFileBytes(victim), "not yours to overwrite");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Target())));
  EXPECT_EQ(qtest::ReadFileBytes(Target()), Expected());

  // A dangling link: writing through it would create its target.
  fs::remove(Target());
  const fs::path planted = elsewhere.Path() / "created-through-link";
  fs::create_symlink(planted, Target());
  EXPECT_NO_THROW(WriteHandoffFile(Target().string(), m_bytes));
  EXPECT_FALSE(fs::exists(fs::symlink_status(planted)));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Target())));
}

TEST_F(HandoffFileWrite, DirectoryAtTheNameIsReportedAndNothingIsLeftBehind) {
  fs::create_directory(Target());
  qtest::WriteFileBytes(Target() / "inside", "x");
  const std::string reason = qtest::OperationFailure([&] { WriteHandoffFile(Target().string(), m_bytes); });
  EXPECT_NE(reason, "");
  EXPECT_NE(reason.find("目录"), std::string::npos) << reason;
  EXPECT_EQ(htest::Names(m_dir.Path()), std::vector<std::string>{kHandoffFileName});
  EXPECT_EQ(qtest::ReadFileBytes(Target() / "inside"), "x");
}

TEST_F(HandoffFileWrite, MissingDirectoryIsReportedWithItsName) {
  const fs::path missing = m_dir.Path() / "gone";
  const std::string reason =
      qtest::OperationFailure([&] { WriteHandoffFile((missing / kHandoffFileName).string(), m_bytes); });
  EXPECT_NE(reason.find(missing.string()), std::string::npos) << reason;
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(HandoffFileWrite, AnotherUsersFileInASharedStickyDirectoryIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const fs::path shared = m_dir.Path() / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const fs::path theirs = shared / kHandoffFileName;
  qtest::WriteFileBytes(theirs, "root's own file");
  ASSERT_EQ(::chmod(theirs.c_str(), 0666), 0);  // even writable by all, it must not be written

  const auto result = qtest::RunAsNobody(
      [&] { return "ran:" + qtest::OperationFailure([&] { WriteHandoffFile(theirs.string(), m_bytes); }); });
  ASSERT_TRUE(result.has_value()) << "no user nobody";
  ASSERT_EQ(result->rfind("ran:", 0), 0u) << *result;
  EXPECT_NE(result->find("其他用户"), std::string::npos) << *result;
  EXPECT_EQ(qtest::ReadFileBytes(theirs), "root's own file");
  EXPECT_EQ(htest::Names(shared), std::vector<std::string>{kHandoffFileName});

  // A directory the user may not write into at all.
  const fs::path closed = m_dir.Path() / "closed";
  fs::create_directory(closed);
  ASSERT_EQ(::chmod(closed.c_str(), 0755), 0);
  const auto refused =
      qtest::RunAsNobody([&] {
        return "ran:" + qtest::OperationFailure([&] { WriteHandoffFile((closed / kHandoffFileName).string(), m_bytes); });
      });
  ASSERT_TRUE(refused.has_value());
  EXPECT_NE(refused->find(closed.string()), std::string::npos) << *refused;
  EXPECT_TRUE(htest::Names(closed).empty());
}

TEST(HandoffFilePathTest, FixedNameInTheTemporaryDirectory) {
  {
    qtest::TestPlatform platform;
    platform.tempPath = "/some/where/";
    EXPECT_EQ(HandoffFilePath(ThePlatform().TempPath()), "/some/where/~qe10.tmp");
  }
  {
    htest::ScopedEnv tmpdir("TMPDIR", std::string("/var/tmp/user7"));
    EXPECT_EQ(HandoffFilePath(ThePlatform().TempPath()), "/var/tmp/user7/~qe10.tmp");
  }
  {
    htest::ScopedEnv tmpdir("TMPDIR", std::nullopt);
    EXPECT_EQ(HandoffFilePath(ThePlatform().TempPath()), "/tmp/~qe10.tmp");
  }
}

#endif

}  // namespace
