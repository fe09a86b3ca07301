// The shell integration against the real registry and the real shell link objects of the Wine
// prefix: the .mdl association read back with RegQueryValueExA, the desktop shortcut loaded back with
// IShellLinkA and IPersistFile. The commands run as the dialog runs them, their message boxes scripted.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "base/afx.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "app/shell_commands.h"
#include "res/resource.h"
#include "shell/association.h"
#include "shell/shortcut.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"
#include "win_test_helpers.h"

namespace {

using qtest::BoxKind;

using wintest::FromCp936;
using qtest::ScriptedView;

// ---------------------------------------------------------------------------------------------
// File association

struct RegistryValue {
  LONG status = ERROR_FILE_NOT_FOUND;  // of opening the key and querying its default value
  DWORD type = REG_NONE;
  DWORD length = 0;
  std::string data;  // all `length` bytes, terminator included
};

RegistryValue ReadDefaultValue(const char* subKey) {
  RegistryValue value;
  HKEY key = nullptr;
  value.status = RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &key);
  if (value.status != ERROR_SUCCESS) return value;
  value.status = RegQueryValueExA(key, nullptr, nullptr, &value.type, nullptr, &value.length);
  if (value.status == ERROR_SUCCESS) {
    value.data.assign(value.length, '\x7f');
    DWORD length = value.length;
    value.status = RegQueryValueExA(key, nullptr, nullptr, &value.type,
                                    reinterpret_cast<BYTE*>(value.data.data()), &length);
    value.length = length;
    value.data.resize(length);
  }
  RegCloseKey(key);
  return value;
}

void DeleteAssociationKeys() {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, ".mdl");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ".mdl");
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "mdlfile");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "mdlfile");
}

// HKEY_CLASSES_ROOT of this process redirected to a key that no longer exists, so that every key
// under it can be neither created nor opened. (Wine does not enforce key permissions; this gives the
// same failures a user without write access under HKEY_CLASSES_ROOT meets.)
class ClassesRootUnavailable {
 public:
  ClassesRootUnavailable() {
    const char* name = "Software\\qelmora-tests\\classes-gone";
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, name, &m_key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, name), ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, m_key), ERROR_SUCCESS);
  }
  ~ClassesRootUnavailable() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(m_key);
  }
  ClassesRootUnavailable(const ClassesRootUnavailable&) = delete;
  ClassesRootUnavailable& operator=(const ClassesRootUnavailable&) = delete;

 private:
  HKEY m_key = nullptr;
};

class MdlAssociation : public ::testing::Test {
 protected:
  void SetUp() override { DeleteAssociationKeys(); }
  // The values stay behind: the script test reads them with `wine reg query` afterwards.

  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  ScriptedView view;
};

constexpr const char* kToolPath = "C:\\Program Files\\Qelmora Tools\\app.exe";

TEST_F(MdlAssociation, WritesTheThreeValuesWithTheirTypesAndLengths) {
  platform.moduleFileName = kToolPath;
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_ASSOCIATE);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Dialog);
  EXPECT_EQ(FromCp936(boxes.Boxes()[0].text), L"文件关联设置成功!");
  EXPECT_EQ(FromCp936(boxes.Boxes()[0].caption), L"信息提示");

  const RegistryValue type = ReadDefaultValue(".mdl");
  ASSERT_EQ(type.status, ERROR_SUCCESS);
  EXPECT_EQ(type.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(type.length, 8u);
  EXPECT_EQ(type.data, std::string("mdlfile", 8));

  // The path is quoted, so that its blanks do not split the program name.
  const std::string command = std::string("\"") + kToolPath + "\"  \"%1\"";
  const RegistryValue open = ReadDefaultValue("mdlfile\\shell\\open\\command");
  ASSERT_EQ(open.status, ERROR_SUCCESS);
  EXPECT_EQ(open.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(open.length, command.size() + 1);
  EXPECT_EQ(open.data, command + '\0');

  const std::string iconValue = std::string(kToolPath) + ",0";
  const RegistryValue icon = ReadDefaultValue("mdlfile\\DefaultIcon");
  ASSERT_EQ(icon.status, ERROR_SUCCESS);
  EXPECT_EQ(icon.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(icon.length, iconValue.size() + 1);
  EXPECT_EQ(icon.data, iconValue + '\0');

  // Nothing else is written: the keys on the way have no value of their own.
  EXPECT_NE(ReadDefaultValue("mdlfile").status, ERROR_SUCCESS);
  EXPECT_NE(ReadDefaultValue("mdlfile\\shell").status, ERROR_SUCCESS);
  EXPECT_NE(ReadDefaultValue("mdlfile\\shell\\open").status, ERROR_SUCCESS);
}

TEST_F(MdlAssociation, PressedTwiceWritesTheSameDataAndSucceedsAgain) {
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_ASSOCIATE);
  const RegistryValue firstType = ReadDefaultValue(".mdl");
  const RegistryValue firstOpen = ReadDefaultValue("mdlfile\\shell\\open\\command");
  const RegistryValue firstIcon = ReadDefaultValue("mdlfile\\DefaultIcon");
  ASSERT_EQ(firstOpen.status, ERROR_SUCCESS);

  // The running test program is the one registered.
  const std::string self = ThePlatform().ModuleFileName();
  EXPECT_EQ(firstOpen.data, "\"" + self + "\"  \"%1\"" + '\0');
  EXPECT_EQ(firstIcon.data, self + ",0" + '\0');

  dialog.OnCommand(IDC_BUTTON_ASSOCIATE);
  const RegistryValue secondType = ReadDefaultValue(".mdl");
  const RegistryValue secondOpen = ReadDefaultValue("mdlfile\\shell\\open\\command");
  const RegistryValue secondIcon = ReadDefaultValue("mdlfile\\DefaultIcon");
  EXPECT_EQ(secondType.data, firstType.data);
  EXPECT_EQ(secondType.length, firstType.length);
  EXPECT_EQ(secondOpen.data, firstOpen.data);
  EXPECT_EQ(secondOpen.length, firstOpen.length);
  EXPECT_EQ(secondIcon.data, firstIcon.data);

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  for (const qtest::ShownBox& box : boxes.Boxes()) {
    EXPECT_EQ(box.kind, BoxKind::Dialog);
    EXPECT_EQ(FromCp936(box.text), L"文件关联设置成功!");
  }
}

TEST_F(MdlAssociation, UnwritableClassesRootGivesTheThreeFailuresInOrder) {
  {
    ClassesRootUnavailable denied;
    MainDialog dialog(view);
    dialog.OnCommand(IDC_BUTTON_ASSOCIATE);
  }
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Ownerless);
  EXPECT_EQ(FromCp936(boxes.Boxes()[0].text), L"文件关联设置失败\r\n错误代码-bind001");
  EXPECT_EQ(FromCp936(boxes.Boxes()[0].caption), L"错误提示");
  EXPECT_EQ(boxes.Boxes()[1].kind, BoxKind::Ownerless);
  EXPECT_EQ(FromCp936(boxes.Boxes()[1].text), L"文件关联设置失败\r\n错误代码-inqury001");
  EXPECT_EQ(FromCp936(boxes.Boxes()[1].caption), L"错误提示");
  EXPECT_EQ(boxes.Boxes()[2].kind, BoxKind::Dialog);
  EXPECT_EQ(FromCp936(boxes.Boxes()[2].text), L"文件关联设置失败\r\n错误代码-whole001");
  EXPECT_EQ(FromCp936(boxes.Boxes()[2].caption), L"错误提示");

  // The real classes root was not touched.
  EXPECT_NE(ReadDefaultValue(".mdl").status, ERROR_SUCCESS);
  EXPECT_NE(ReadDefaultValue("mdlfile\\shell\\open\\command").status, ERROR_SUCCESS);
}

TEST_F(MdlAssociation, CheckPassesOnlyWhenTheThreeValuesAreThisProgramsOwn) {
  const std::string other = "C:\\Other\\app.exe";
  ASSERT_TRUE(AssociationWriteType());
  ASSERT_TRUE(AssociationWriteOpenCommand(kToolPath));
  ASSERT_TRUE(AssociationWriteIcon(kToolPath));
  EXPECT_TRUE(AssociationCheck(kToolPath));
  EXPECT_FALSE(AssociationCheck(other));

  // An icon of another program, then none at all.
  ASSERT_TRUE(AssociationWriteIcon(other));
  EXPECT_FALSE(AssociationCheck(kToolPath));
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "mdlfile\\DefaultIcon");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "mdlfile\\DefaultIcon");
  EXPECT_FALSE(AssociationCheck(kToolPath));

  // The right text with the wrong type is not the program's value either.
  ASSERT_TRUE(AssociationWriteIcon(kToolPath));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "mdlfile\\shell\\open\\command", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const std::string command = std::string("\"") + kToolPath + "\"  \"%1\"";
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));
  RegCloseKey(key);
  EXPECT_FALSE(AssociationCheck(kToolPath));
  EXPECT_TRUE(boxes.Boxes().empty());
}

// A path of n characters ending in "\a.exe".
std::string PathOfLength(std::size_t n) {
  std::string path = "C:\\";
  path += std::string(n - path.size() - 6, 'p');
  path += "\\a.exe";
  return path;
}

TEST_F(MdlAssociation, PathsThatDoNotFitTheBufferAreRefused) {
  // The command value adds two quotes and "  \"%1\"": 251 characters fit 260 with the terminator.
  ASSERT_TRUE(AssociationWriteOpenCommand(PathOfLength(251)));
  RegistryValue open = ReadDefaultValue("mdlfile\\shell\\open\\command");
  EXPECT_EQ(open.length, 260u);
  EXPECT_EQ(open.data, "\"" + PathOfLength(251) + "\"  \"%1\"" + '\0');
  EXPECT_FALSE(AssociationWriteOpenCommand(PathOfLength(252)));
  EXPECT_EQ(ReadDefaultValue("mdlfile\\shell\\open\\command").data, open.data);  // left as it was

  // The icon value adds ",0": 257 characters fit.
  ASSERT_TRUE(AssociationWriteIcon(PathOfLength(257)));
  EXPECT_EQ(ReadDefaultValue("mdlfile\\DefaultIcon").data, PathOfLength(257) + ",0" + '\0');
  EXPECT_FALSE(AssociationWriteIcon(PathOfLength(258)));
  EXPECT_EQ(ReadDefaultValue("mdlfile\\DefaultIcon").data, PathOfLength(257) + ",0" + '\0');
  EXPECT_TRUE(boxes.Boxes().empty());

  // Through the command: the refused step is reported as its own, and the check, which reads the
  // values back, finds no open command: no success.
  DeleteAssociationKeys();
  platform.moduleFileName = PathOfLength(252);
  EXPECT_FALSE(AssociateMdl());
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Ownerless);
  EXPECT_EQ(FromCp936(boxes.Boxes()[0].text), L"文件关联设置失败\r\n错误代码-bind002");
  EXPECT_EQ(FromCp936(boxes.Boxes()[1].text), L"文件关联设置失败\r\n错误代码-inqury001");
  EXPECT_EQ(FromCp936(boxes.Boxes()[2].text), L"文件关联设置失败\r\n错误代码-whole001");
  EXPECT_EQ(ReadDefaultValue(".mdl").data, std::string("mdlfile", 8));
  EXPECT_NE(ReadDefaultValue("mdlfile\\shell\\open\\command").status, ERROR_SUCCESS);
  EXPECT_NE(ReadDefaultValue("mdlfile\\DefaultIcon").status, ERROR_SUCCESS);
}

// Runs last among the association cases (gtest keeps the order of definition) and leaves its values
// for the script test that reads them back with `wine reg query`.
TEST_F(MdlAssociation, LeavesTheValuesOfAToolWithBlanksInItsPath) {
  platform.moduleFileName = kToolPath;
  EXPECT_TRUE(AssociateMdl());
  EXPECT_EQ(ReadDefaultValue("mdlfile\\shell\\open\\command").data,
            std::string("\"") + kToolPath + "\"  \"%1\"" + '\0');
}

// ---------------------------------------------------------------------------------------------
// Desktop shortcut

struct LoadedLink {
  HRESULT status = E_FAIL;
  std::string path;
  std::string workingDirectory;
};

// Loads a .lnk file with the shell's own link object.
LoadedLink LoadLink(const std::string& file) {
  LoadedLink result;
  const HRESULT init = CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  result.status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link));
  if (SUCCEEDED(result.status)) {
    IPersistFile* persist = nullptr;
    result.status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(result.status)) {
      wchar_t wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
      result.status = persist->Load(wide, STGM_READ);
      if (SUCCEEDED(result.status)) {
        char buffer[MAX_PATH] = {};
        if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) result.path = buffer;
        buffer[0] = '\0';
        if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) result.workingDirectory = buffer;
      }
      persist->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return result;
}

std::string DesktopDirectory() {
  char path[MAX_PATH] = {};
  EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  return path;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The desktop folder of the current user moved to another directory for the test's lifetime.
class MovedDesktop {
 public:
  explicit MovedDesktop(const std::string& directory) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ | KEY_WRITE, &m_key), ERROR_SUCCESS);
    char old[1024];
    DWORD length = sizeof old;
    m_had = RegQueryValueExA(m_key, "Desktop", nullptr, &m_type, reinterpret_cast<BYTE*>(old), &length) ==
            ERROR_SUCCESS;
    if (m_had) m_old.assign(old, length);
    RegSetValueExA(m_key, "Desktop", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(directory.c_str()),
                   static_cast<DWORD>(directory.size() + 1));
  }
  ~MovedDesktop() {
    if (m_had) {
      RegSetValueExA(m_key, "Desktop", 0, m_type, reinterpret_cast<const BYTE*>(m_old.data()),
                     static_cast<DWORD>(m_old.size()));
    } else {
      RegDeleteValueA(m_key, "Desktop");
    }
    RegCloseKey(m_key);
  }
  MovedDesktop(const MovedDesktop&) = delete;
  MovedDesktop& operator=(const MovedDesktop&) = delete;

 private:
  static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  HKEY m_key = nullptr;
  bool m_had = false;
  DWORD m_type = REG_EXPAND_SZ;
  std::string m_old;
};

// A directory under `root` whose full path is exactly n characters long.
std::string MakeDirectoryOfLength(const std::string& root, std::size_t n) {
  std::string dir = root;
  EXPECT_LT(dir.size() + 2, n);
  EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
  while (dir.size() < n) {
    const std::size_t segment = std::min<std::size_t>(60, n - dir.size() - 1);
    if (segment == 0) {
      dir += 'x';  // one character short of a segment: lengthen the last one
      EXPECT_TRUE(MoveFileA(dir.substr(0, dir.size() - 1).c_str(), dir.c_str()));
      continue;
    }
    dir += "\\" + std::string(segment, 'd');
    EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
  }
  EXPECT_EQ(dir.size(), n);
  return dir;
}

class DesktopShortcut : public ::testing::Test {
 protected:
  void SetUp() override {
    m_linkPath = DesktopDirectory() + "\\qelmora.lnk";
    DeleteFileA(m_linkPath.c_str());
    // A program whose name is not the shortcut's, in a folder with a blank in its name.
    std::filesystem::create_directories(tools.Path() / "Lab Tools");
    target = tools.Dir() + "Lab Tools\\impedance-viewer.exe";
    qtest::WriteFileBytes(target, "MZ");
  }
  void TearDown() override { DeleteFileA(m_linkPath.c_str()); }

  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  qtest::TempDir tools;
  ScriptedView view;
  std::string target;
  std::string m_linkPath;
};

TEST_F(DesktopShortcut, LinkLoadsBackWithTargetAndWorkingDirectory) {
  platform.moduleFileName = target;
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_SHORTCUT);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Dialog);
  EXPECT_EQ(boxes.Boxes()[0].text, "Succeed!");
  EXPECT_EQ(boxes.Boxes()[0].caption, "information");

  // Named after the program, not after the executable's file name.
  ASSERT_TRUE(FileExists(m_linkPath));
  EXPECT_FALSE(FileExists(DesktopDirectory() + "\\impedance-viewer.lnk"));
  const LoadedLink link = LoadLink(m_linkPath);
  ASSERT_EQ(link.status, S_OK);
  EXPECT_EQ(link.path, target);
  EXPECT_EQ(link.workingDirectory, tools.Dir() + "Lab Tools\\");
}

TEST_F(DesktopShortcut, PressedTwiceReplacesTheLinkAndSucceedsBothTimes) {
  platform.moduleFileName = target;
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_SHORTCUT);
  ASSERT_EQ(LoadLink(m_linkPath).path, target);

  // The program has moved: the second press must replace the link, not keep the old one.
  std::filesystem::create_directories(tools.Path() / "moved");
  const std::string moved = tools.Dir() + "moved\\qelmora.exe";
  qtest::WriteFileBytes(moved, "MZ");
  platform.moduleFileName = moved;
  dialog.OnCommand(IDC_BUTTON_SHORTCUT);

  const LoadedLink link = LoadLink(m_linkPath);
  ASSERT_EQ(link.status, S_OK);
  EXPECT_EQ(link.path, moved);
  EXPECT_EQ(link.workingDirectory, tools.Dir() + "moved\\");
  ASSERT_EQ(boxes.Texts(), (std::vector<std::string>{"Succeed!", "Succeed!"}));
}

TEST_F(DesktopShortcut, LinkPathLongerThanTheBufferIsRefusedWithCodeTwo) {
  // A desktop of 247 characters gives a link path of 259: the longest that fits with its terminator.
  const std::string fits = MakeDirectoryOfLength(tools.Dir() + "f", 247);
  {
    MovedDesktop desktop(fits);
    EXPECT_EQ(MakeDesktopShortcut(target), 0);
  }
  EXPECT_TRUE(FileExists(fits + "\\qelmora.lnk"));
  EXPECT_EQ(LoadLink(fits + "\\qelmora.lnk").path, target);

  // One more character and the path no longer fits: nothing is saved, code 2 is shown.
  const std::string tooLong = MakeDirectoryOfLength(tools.Dir() + "g", 248);
  {
    MovedDesktop desktop(tooLong);
    EXPECT_EQ(MakeDesktopShortcut(target), 2);
  }
  EXPECT_FALSE(FileExists(tooLong + "\\qelmora.lnk"));
  EXPECT_FALSE(FileExists(tooLong + "\\qelmora.ln"));

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, "error short cut=2");
  EXPECT_EQ(boxes.Boxes()[1].caption, "error");
}

TEST_F(DesktopShortcut, LeavesTheThreadsComStateAsItFoundIt) {
  // Initialised by the dialog (OLE, as at start-up): still initialised afterwards.
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  EXPECT_NO_THROW(CreateDesktopShortcut(target, tools.Dir(), kShortcutBaseName));
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  if (object != nullptr) object->Release();
  OleUninitialize();

  // Not initialised before: not initialised afterwards either.
  EXPECT_NO_THROW(CreateDesktopShortcut(target, tools.Dir(), kShortcutBaseName));
  object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED);
  if (object != nullptr) object->Release();
  EXPECT_EQ(LoadLink(m_linkPath).workingDirectory, tools.Dir());
}

}  // namespace
