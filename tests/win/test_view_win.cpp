// The Win32 view of the main dialog with real windows (under Xvfb): the path box, the "Transfer
// data" button, the About item of the system menu, the icons, and the commands: OK imports and keeps
// the dialog, the About item shows the About box, closing the window is Cancel.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/main_dialog_view_win.h"
#include "res/resource.h"
#include "store/store.h"
#include "store/store_win.h"
#include "tests/support/test_support.h"

namespace {

class RecordingDialog final : public MainDialog {
 public:
  using MainDialog::MainDialog;
  void OnOK() override { ++okCount; }
  void OnCancel() override {
    ++cancelCount;
    MainDialog::OnCancel();
  }
  std::atomic<int> okCount{0};
  std::atomic<int> cancelCount{0};
};

bool HaveDisplay() {
  const HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

struct DialogSearch {
  const wchar_t* caption;
  HWND found;
};

// A named callback: a lambda converts to a cdecl pointer, which the 32-bit build cannot pass.
BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<DialogSearch*>(lParam);
  wchar_t text[64] = {};
  GetWindowTextW(hwnd, text, 64);
  if (IsWindowVisible(hwnd) && lstrcmpW(text, s->caption) == 0) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A top-level dialog of this process with the caption given (UTF-16), or null.
HWND FindDialog(const wchar_t* caption, DWORD thread) {
  DialogSearch search{caption, nullptr};
  EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForDialog(const wchar_t* caption, DWORD thread) {
  for (int i = 0; i < 200; ++i) {
    if (const HWND hwnd = FindDialog(caption, thread)) return hwnd;
    Sleep(50);
  }
  return nullptr;
}

TEST(WinView, TheRealDialogRunsTheCommands) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  qtest::TempDir program;
  qtest::TestPlatform platform;
  platform.moduleFileName = program.Dir() + "qelmora.exe";
  qtest::ScriptedMessageBoxes boxes;

  Win32MainDialogView view;
  RecordingDialog dialog(view);
  dialog.m_strPath = "C:\\models\\a.mdl";
  const DWORD uiThread = GetCurrentThreadId();

  std::string pathText, aboutText;
  bool transferVisible = true, separatorBeforeAbout = false, stillOpenAfterOk = false;
  HICON bigIcon = nullptr, smallIcon = nullptr, dragIcon = nullptr;
  HWND aboutOwner = nullptr, mainWindow = nullptr;
  int okAfterCommand = -1;

  std::thread driver([&] {
    const HWND hwnd = WaitForDialog(L"qelmora", uiThread);
    mainWindow = hwnd;
    if (hwnd == nullptr) return;
    char buffer[MAX_PATH] = {};
    GetDlgItemTextA(hwnd, IDC_EDIT_PATH, buffer, sizeof buffer);
    pathText = buffer;
    transferVisible = IsWindowVisible(GetDlgItem(hwnd, IDC_BUTTON_TRANSFER)) != FALSE;

    const HMENU menu = GetSystemMenu(hwnd, FALSE);
    const int count = GetMenuItemCount(menu);
    char item[64] = {};
    GetMenuStringA(menu, IDM_ABOUTBOX, item, sizeof item, MF_BYCOMMAND);
    aboutText = item;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    separatorBeforeAbout = count >= 2 && GetMenuItemInfoA(menu, count - 2, TRUE, &info) &&
                           (info.fType & MFT_SEPARATOR) != 0 && GetMenuItemID(menu, count - 1) == IDM_ABOUTBOX;

    bigIcon = reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0));
    smallIcon = reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0));
    dragIcon = reinterpret_cast<HICON>(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0));

    // OK (and Enter) import and leave the dialog open.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    okAfterCommand = dialog.okCount;
    stillOpenAfterOk = IsWindow(hwnd) && IsWindowVisible(hwnd);

    // The About item of the system menu: the About box, owned by the dialog; its OK ends it.
    PostMessageA(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    if (const HWND about = WaitForDialog(L"关于 qelmora", uiThread)) {
      aboutOwner = GetWindow(about, GW_OWNER);
      PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      for (int i = 0; i < 100 && IsWindow(about); ++i) Sleep(50);
    }

    // The close box is Cancel.
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
  });

  const int result = view.DoModal(dialog);
  driver.join();
  CloseParameterStore();
  g_pRecordset.Release();
  g_pConnection.Release();

  ASSERT_NE(mainWindow, nullptr) << "the dialog did not appear";
  EXPECT_EQ(pathText, "C:\\models\\a.mdl");
  EXPECT_FALSE(transferVisible);  // no sim\Kambrisolve.exe beside the program
  EXPECT_EQ(aboutText, "关于 qelmora(&A)...");
  EXPECT_TRUE(separatorBeforeAbout);
  EXPECT_NE(bigIcon, nullptr);
  EXPECT_EQ(smallIcon, bigIcon);
  EXPECT_EQ(dragIcon, bigIcon);
  EXPECT_EQ(okAfterCommand, 1);
  EXPECT_TRUE(stillOpenAfterOk);
  EXPECT_EQ(aboutOwner, mainWindow);
  EXPECT_EQ(dialog.cancelCount, 1);
  EXPECT_EQ(result, kIdCancel);
  EXPECT_TRUE(dialog.m_bFromCommandLine);
}

TEST(WinView, TheOpenFilterAndTheApplicationName) {
  OpenFileRequest request;
  request.filters = {{"FILE(*.mdl)", "*.mdl"}, {"FILE(*.*)", "*.*"}};
  static const char kFilter[] = "FILE(*.mdl)\0*.mdl\0FILE(*.*)\0*.*\0";  // and the literal's own zero
  EXPECT_EQ(OpenFileFilter(request), std::string(kFilter, sizeof kFilter));
  qtest::TestPlatform platform;
  platform.moduleFileName = "C:\\Tools\\Circuit\\app.exe";
  EXPECT_EQ(ApplicationName(), "app");
}

}  // namespace
