// Desktop entry values and the user-dirs.dirs lookup, read back with GLib's own parsers: the key
// file reader for the stored form and the shell parser that GIO applies to Exec.
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shell/freedesktop_linux.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/test_support.h"

namespace fd = freedesktop;
namespace fs = std::filesystem;

namespace {

std::string EntryText(const std::string& execValue) {
  return "[Desktop Entry]\nType=Application\nName=t\nExec=" + execValue + "\n";
}

// The argument vector of an Exec value launched on one file, by the Desktop Entry rules GIO
// follows: %% is a literal %, %f the file, then shell-style splitting.
std::vector<std::string> LaunchVector(const std::string& exec, const std::string& file) {
  std::string line;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
      line += '%';
      ++i;
    } else if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == 'f') {
      gchar* quoted = g_shell_quote(file.c_str());
      line += quoted;
      g_free(quoted);
      ++i;
    } else {
      line += exec[i];
    }
  }
  gint argc = 0;
  gchar** argv = nullptr;
  GError* error = nullptr;
  if (!g_shell_parse_argv(line.c_str(), &argc, &argv, &error)) {
    ADD_FAILURE() << "GLib cannot parse Exec " << line << ": " << error->message;
    g_error_free(error);
    return {};
  }
  std::vector<std::string> result(argv, argv + argc);
  g_strfreev(argv);
  return result;
}

// The Exec value as GLib's key file reader gives it back from the stored text.
std::string ReadBackExec(const std::string& entryText) {
  GKeyFile* keyFile = g_key_file_new();
  std::string exec;
  if (g_key_file_load_from_data(keyFile, entryText.c_str(), entryText.size(), G_KEY_FILE_NONE, nullptr)) {
    gchar* value = g_key_file_get_string(keyFile, "Desktop Entry", "Exec", nullptr);
    if (value != nullptr) exec = value;
    g_free(value);
  } else {
    ADD_FAILURE() << "not a key file:\n" << entryText;
  }
  g_key_file_free(keyFile);
  return exec;
}

}  // namespace

// Program paths with every reserved character (and the control characters the key file format
// escapes) come back unchanged through the stored Exec value, with %f as one separate argument.
TEST(DesktopEntryExec, ProgramPathsRoundTripThroughKeyFileAndShellParsing) {
  const std::vector<std::string> paths = {
      "/opt/qelmora/qelmora",
      "/opt/My Apps/qelmora",
      "/opt/a\"b/'c'/q",
      "/opt/back\\slash\\\\twice/q",
      "/opt/$HOME/${X}/q",
      "/opt/`id`/q",
      "/opt/~t/#h;s&a|p<i>o(r)*?/q",
      "/opt/50% off/%f %%/q",
      "/opt/tab\there/new\nline/cr\rhere/q",
      " /leading blank",
      "/trailing blank ",
      "/opt/模型 程序/qelmora",
  };
  const std::string file = "/data/run 1 %f $x.mdl";
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const std::string text = EntryText(fd::ExecValue(path, true));
    const std::string exec = ReadBackExec(text);
    EXPECT_EQ(LaunchVector(exec, file), (std::vector<std::string>{path, file}));
    // Without the file code the line is the program alone.
    EXPECT_EQ(LaunchVector(ReadBackExec(EntryText(fd::ExecValue(path, false))), file),
              std::vector<std::string>{path});
  }
}

// The forms the Desktop Entry Specification prescribes, as the stored text shows them.
TEST(DesktopEntryExec, QuotesOnlyWhereNeededAndEscapesInTheStoredForm) {
  EXPECT_EQ(fd::ExecValue("/usr/bin/qelmora", true), "/usr/bin/qelmora %f");
  EXPECT_EQ(fd::ExecValue("/opt/My Apps/q", true), "\"/opt/My Apps/q\" %f");
  // A backslash is escaped for the shell rules inside quotes, then once more for the key file.
  EXPECT_EQ(fd::ExecValue("/a\\b", false), "\"/a\\\\\\\\b\"");
  EXPECT_EQ(fd::ExecValue("/a$b`c\"d", false), "\"/a\\\\$b\\\\`c\\\\\"d\"");
  EXPECT_EQ(fd::ExecValue("/50%/q", true), "/50%%/q %f");
}

// desktop-file-validate accepts the entries made for awkward program paths, and GIO loads them
// (it refuses an entry whose program it cannot find, so the programs exist here).
TEST(DesktopEntryExec, EntriesForAwkwardPathsValidateAndLoadInGio) {
  qtest::TempDir dir;
  const std::vector<std::string> names = {"plain", "with space", "q\"uote's", "back\\slash", "dollar$HOME",
                                          "tick`x`", "amp&semi;", "模型"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const fs::path program = dir.Path() / name / "qelmora";
    shelltest::InstallStandIn(program);
    const std::string text = "[Desktop Entry]\nType=Application\nName=qelmora\nExec=" +
                             fd::ExecValue(program.string(), true) +
                             "\nMimeType=application/x-qelmora-mdl;\nTerminal=false\n";
    const fs::path entry = dir.Path() / (std::to_string(&name - names.data()) + ".desktop");
    qtest::WriteFileBytes(entry, text);
    const shelltest::RunResult validate = shelltest::Run({"desktop-file-validate", entry.string()}, {});
    EXPECT_EQ(validate.status, 0) << validate.out << validate.err;
    EXPECT_EQ(validate.out, "");

    GKeyFile* keyFile = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_data(keyFile, text.c_str(), text.size(), G_KEY_FILE_NONE, nullptr));
    GDesktopAppInfo* info = g_desktop_app_info_new_from_keyfile(keyFile);
    g_key_file_free(keyFile);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(LaunchVector(g_app_info_get_commandline(G_APP_INFO(info)), "/m.mdl"),
              (std::vector<std::string>{program.string(), "/m.mdl"}));
    g_object_unref(info);
  }
}

// String values (the launcher's Path) keep leading blanks, tabs, line breaks and backslashes.
TEST(DesktopEntryValue, StringValuesRoundTripThroughTheKeyFileReader) {
  for (const std::string value : {"/opt/qelmora/", " /lead", "/a\\b/", "/t\tn\nr\r/", "/模型 目录/"}) {
    SCOPED_TRACE(value);
    const std::string text = "[Desktop Entry]\nPath=" + fd::EscapeValue(value) + "\n";
    GKeyFile* keyFile = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_data(keyFile, text.c_str(), text.size(), G_KEY_FILE_NONE, nullptr));
    gchar* read = g_key_file_get_string(keyFile, "Desktop Entry", "Path", nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::string(read), value);
    g_free(read);
    g_key_file_free(keyFile);
  }
}

// user-dirs.dirs as xdg-user-dirs writes it: "$HOME/..." or absolute values in double quotes,
// comments, the last valid line winning, and lines of other forms ignored.
TEST(UserDirs, DesktopLineResolvedAgainstHome) {
  const std::string home = "/home/u";
  EXPECT_EQ(fd::ParseUserDirsDesktop("# written by xdg-user-dirs-update\n"
                                     "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
                                     "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n",
                                     home),
            "/home/u/桌面");
  EXPECT_EQ(fd::ParseUserDirsDesktop("  XDG_DESKTOP_DIR = \"/srv/desk top\"\n", home), "/srv/desk top");
  EXPECT_EQ(fd::ParseUserDirsDesktop("XDG_DESKTOP_DIR=\"$HOME/a \\\"q\\\" \\\\b\"\n", home), "/home/u/a \"q\" \\b");
  EXPECT_EQ(fd::ParseUserDirsDesktop("XDG_DESKTOP_DIR=\"$HOME/One\"\nXDG_DESKTOP_DIR=\"$HOME/Two\"\n", home),
            "/home/u/Two");
  // Relative values, a bare $HOME, missing quotes and commented lines are not desktop lines.
  EXPECT_EQ(fd::ParseUserDirsDesktop("XDG_DESKTOP_DIR=\"Desktop\"\n"
                                     "XDG_DESKTOP_DIR=\"$HOME\"\n"
                                     "XDG_DESKTOP_DIR=$HOME/x\n"
                                     "# XDG_DESKTOP_DIR=\"$HOME/c\"\n"
                                     "XDG_DESKTOP_DIRX=\"$HOME/y\"\n",
                                     home),
            "");
}

// The lookup reads the file under $XDG_CONFIG_HOME and falls back to ~/Desktop.
TEST(UserDirs, DesktopDirectoryFromConfigHomeOrHomeDesktop) {
  qtest::TempDir dir;
  const shelltest::EnvGuard env({{"HOME", (dir.Path() / "h").string()},
                                 {"XDG_CONFIG_HOME", (dir.Path() / "cfg").string()}});
  EXPECT_EQ(fd::DesktopDirectory(), (dir.Path() / "h" / "Desktop").string());
  fs::create_directories(dir.Path() / "cfg");
  qtest::WriteFileBytes(dir.Path() / "cfg" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
  EXPECT_EQ(fd::DesktopDirectory(), (dir.Path() / "h" / "桌面").string());
  // An empty XDG_CONFIG_HOME means ~/.config.
  const shelltest::EnvGuard unset(shelltest::EnvChanges{{"XDG_CONFIG_HOME", std::string()}});
  EXPECT_EQ(fd::DesktopDirectory(), (dir.Path() / "h" / "Desktop").string());
  fs::create_directories(dir.Path() / "h" / ".config");
  qtest::WriteFileBytes(dir.Path() / "h" / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"/abs/d\"\n");
  EXPECT_EQ(fd::DesktopDirectory(), "/abs/d");
}
