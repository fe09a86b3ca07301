// The model file read on Windows: an exclusive open (another opener makes it fail with cause 11),
// the causes of the system's errors, and no more than 10,000 bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/afx.h"
#include "model/model_reader.h"
#include "tests/support/test_support.h"

namespace {

TEST(WinModelFile, ReadsTheHeadOfTheFile) {
  qtest::TempDir dir;
  const std::string path = dir.Dir() + "a.mdl";
  std::string text(12000, 'a');
  text[9999] = 'z';
  text[10000] = 'y';
  qtest::WriteFileBytes(path, text);

  std::string data;
  int cause = -1;
  ASSERT_TRUE(ReadModelFileHead(path, kModelReadLimit, &data, &cause));
  EXPECT_EQ(cause, FileException::none);
  ASSERT_EQ(data.size(), 10000u);
  EXPECT_EQ(data.back(), 'z');

  qtest::WriteFileBytes(path, "short\r\n");
  ASSERT_TRUE(ReadModelFileHead(path, kModelReadLimit, &data, &cause));
  EXPECT_EQ(data, "short\r\n");
}

TEST(WinModelFile, OpenFailuresGiveTheFrameworksCauses) {
  qtest::TempDir dir;
  std::string data;
  int cause = 0;

  EXPECT_FALSE(ReadModelFileHead(dir.Dir() + "missing.mdl", kModelReadLimit, &data, &cause));
  EXPECT_EQ(cause, FileException::fileNotFound);
  EXPECT_FALSE(ReadModelFileHead(dir.Dir() + "no\\such\\a.mdl", kModelReadLimit, &data, &cause));
  EXPECT_EQ(cause, FileException::badPath);
  std::filesystem::create_directory(dir.Path() / "folder.mdl");
  EXPECT_FALSE(ReadModelFileHead(dir.Dir() + "folder.mdl", kModelReadLimit, &data, &cause));
  EXPECT_EQ(cause, FileException::accessDenied);

  // Another opener, even a reader that shares everything, makes the exclusive open fail.
  const std::string path = dir.Dir() + "held.mdl";
  qtest::WriteFileBytes(path, qtest::ModelText({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReadModelFileHead(path, kModelReadLimit, &data, &cause));
  EXPECT_EQ(cause, FileException::sharingViolation);

  // Through the line reader: the failure that ends the command, with the message the command shows.
  qtest::ScriptedMessageBoxes boxes;
  g_nModelReadPos = 0;
  try {
    ReadModelLine(path);
    ADD_FAILURE() << "the read went on";
  } catch (const FileException& e) {
    EXPECT_EQ(e.m_cause, FileException::sharingViolation);
    EXPECT_EQ(e.NoticeText(), "error:11\n");
  }
  EXPECT_TRUE(boxes.Texts().empty());
  CloseHandle(held);

  // Once the other opener is gone, the same file reads.
  g_nModelReadPos = 0;
  EXPECT_EQ(ReadModelLine(path), "Element 0 Type: 3");
}

}  // namespace
