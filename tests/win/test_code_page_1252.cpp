// The program's own path in a single-byte system code page (1252, run by test_code_page_1252.cmake):
// no byte is a lead byte there, so an accented letter before a backslash never hides it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/main_dialog.h"
#include "base/platform.h"
#include "res/resource.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"

namespace {

TEST(CodePage1252, TheTestRunsInCodePage1252) { ASSERT_EQ(GetACP(), 1252u); }

TEST(CodePage1252, PathSplitsAtTheLastBackslashAfterAnAccentedLetter) {
  const PathParts parts = SplitPath("C:\\Programme\\Caf\xE9\\qelmora.exe");
  EXPECT_EQ(parts.drive, "C:");
  EXPECT_EQ(parts.dir, "\\Programme\\Caf\xE9\\");
  EXPECT_EQ(parts.fname, "qelmora");
  EXPECT_EQ(parts.ext, ".exe");
}

TEST(CodePage1252, OpenDialogTitleKeepsItsLast37BytesAfterAnAccentedLetter) {
  // The cut falls right behind the one byte above 0x7F: a whole character here.
  const std::string dir = "\\" + std::string(20, 'p') + "\xE9" + std::string(36, 'q') + "\\";
  qtest::TestPlatform platform;
  platform.moduleFileName = "C:" + dir + "qelmora.exe";
  qtest::ScriptedMessageBoxes boxes;
  qtest::ScriptedView view(boxes);
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_BROWSE);
  ASSERT_EQ(view.fileRequests.size(), 1u);
  EXPECT_EQ(view.fileRequests[0].title, "..." + dir.substr(dir.size() - 37));
  EXPECT_EQ(view.fileRequests[0].title.size(), 40u);
}

}  // namespace
