// Helpers of the shell integration tests: child processes with a scratch user's environment, the
// probe and stand-in programs built beside the tests, and a main dialog view without a toolkit.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_dialog.h"
#include "tests/support/shell_command.h"
#include "tests/support/test_support.h"

namespace shelltest {

// The tests' one program runner (tests/support/shell_command.h).
using qtest::EnvChanges;
using qtest::Run;
using qtest::RunResult;

// Sets environment variables in this process for its lifetime and restores them afterwards.
class EnvGuard {
 public:
  explicit EnvGuard(const EnvChanges& changes);
  ~EnvGuard();
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  EnvChanges m_saved;
};

// A user of its own in a temporary directory: HOME, the XDG base directories and a desktop that
// has GIO answer MIME queries, with no session bus or display to reach.
class ScratchUser {
 public:
  ScratchUser();
  const std::filesystem::path& Root() const { return m_dir.Path(); }
  std::filesystem::path Home() const { return Root() / "home"; }
  std::filesystem::path DataHome() const { return Home() / ".local" / "share"; }
  std::filesystem::path ConfigHome() const { return Home() / ".config"; }
  std::filesystem::path EntryPath() const { return DataHome() / "applications" / "qelmora.desktop"; }
  // Extra changes come after the defaults and so win over them.
  EnvChanges Env(const EnvChanges& extra = {}) const;

 private:
  qtest::TempDir m_dir;
};

// The programs built for the tests.
std::string ProbePath();     // shell_probe
std::string RecorderPath();  // shell_arg_recorder: the stand-in of the dialog program
std::string CliPath();       // qelmora-cli

// Copies the stand-in to path (creating its directory), executable.
void InstallStandIn(const std::filesystem::path& path);

// What the stand-in recorded: its working directory, then its arguments from argv[0]. Waits until
// the file appears; empty when it never did.
struct Recorded {
  std::string cwd;
  std::vector<std::string> argv;
};
std::optional<Recorded> WaitForRecord(const std::filesystem::path& file,
                                      std::chrono::seconds limit = std::chrono::seconds(20));

// A message box as the probe reports it.
struct ProbeBox {
  std::string kind;  // "dialog", "ownerless", "app"
  std::string caption;
  std::string text;
  unsigned type = 0;
  bool operator==(const ProbeBox&) const = default;
};
// Runs "shell_probe COMMAND MODULE": the main dialog's command with the running executable moved to
// module, in a child process with env.
std::vector<ProbeBox> RunProbe(const std::string& command, const std::string& module, const EnvChanges& env,
                               int* status = nullptr);
std::string FormatBoxes(const std::vector<ProbeBox>& boxes);

std::vector<std::string> Lines(const std::string& text);

// The value of a key in the [Desktop Entry] group, as GLib's key file parser reads it.
std::optional<std::string> DesktopEntryString(const std::filesystem::path& file, const std::string& key);


}  // namespace shelltest
