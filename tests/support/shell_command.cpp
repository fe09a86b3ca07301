#include "tests/support/shell_command.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/support/test_support.h"

namespace qtest {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string RunInChild(const std::function<std::string()>& body, const std::function<void()>& prepare) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    std::string text;
    try {
      if (prepare) prepare();
      text = body();
    } catch (const std::exception& e) {
      text = std::string("child failed: ") + e.what();
    }
    (void)!::write(fds[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return text;
}

std::optional<std::string> RunAsNobody(const std::function<std::string()>& body) {
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr || ::geteuid() != 0) return std::nullopt;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  return RunInChild(body, [uid, gid] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
      throw std::runtime_error("setuid failed");
    }
  });
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string StoreKey() {
  return ConnectionStringProperty(ConnectionString("", "/"), "Jet OLEDB:Database Password").value_or("");
}

CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& script) {
  const std::string shell = QELMORA_SQLCIPHER_SHELL;
  EXPECT_FALSE(shell.empty()) << "the sqlcipher shell is not installed (scripts/setup.sh installs it)";
  TempDir scriptDir;
  const auto scriptFile = scriptDir.Path() / "script.sql";
  std::string text;
  if (!key.empty()) {
    std::string escaped;
    for (char c : key) escaped += (c == '\'') ? std::string("''") : std::string(1, c);
    text += "PRAGMA key='" + escaped + "';\n";
  }
  text += script + "\n";
  WriteFileBytes(scriptFile, text);
  return RunCommand(ShellQuote(shell) + " -batch " + ShellQuote(databasePath) + " < " +
                    ShellQuote(scriptFile.string()) + " 2>&1");
}

}  // namespace qtest
