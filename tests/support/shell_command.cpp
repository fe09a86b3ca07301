#include "tests/support/shell_command.h"

#include <grp.h>
#include <pwd.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace qtest {

namespace {

std::vector<std::string> BuildEnvironment(const EnvChanges& changes) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : env) result.push_back(name + "=" + value);
  return result;
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const EnvChanges& env, const std::string& cwd) {
  RunResult result;
  const std::vector<std::string> envStrings = BuildEnvironment(env);
  std::vector<char*> envp;
  for (const std::string& s : envStrings) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  if (!cwd.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (spawned != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    result.err = "cannot start " + argv[0];
    return result;
  }
  result.started = true;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}


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
