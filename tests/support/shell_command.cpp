#include "tests/support/shell_command.h"

#include <grp.h>
#include <pwd.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace qtest {

namespace {

// The user and group nobody, where the system does not name them.
constexpr unsigned kNobodyId = 65534;

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

Child Start(const std::vector<std::string>& argv, const RunOptions& options) {
  Child child;
  if (argv.empty()) return child;
  // Everything the child needs is built before the fork: it allocates nothing.
  const std::vector<std::string> envStrings = BuildEnvironment(options.env);
  std::vector<char*> envp;
  for (const std::string& s : envStrings) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  const passwd* nobody = options.unprivileged && ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : kNobodyId;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : kNobodyId;
  const bool dropRoot = options.unprivileged && ::geteuid() == 0;

  // 0: input, 1: output, 2: error, 3: exec failures (close-on-exec: it ends at a successful exec).
  int pipes[4][2] = {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
  auto closeAll = [&] {
    for (auto& p : pipes) {
      for (int& fd : p) {
        if (fd >= 0) ::close(fd);
        fd = -1;
      }
    }
  };
  for (int i = 0; i < 4; ++i) {
    if ((i == 0 && !options.feedInput) || (i == 2 && options.mergeErrors)) continue;
    if (::pipe2(pipes[i], O_CLOEXEC) != 0) {
      closeAll();
      child.failure = "pipe failed";
      return child;
    }
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    closeAll();
    child.failure = "fork failed";
    return child;
  }
  if (pid == 0) {
    int err = 0;
    const int in = options.feedInput ? pipes[0][0] : ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(pipes[1][1], STDOUT_FILENO) < 0 ||
        ::dup2(options.mergeErrors ? pipes[1][1] : pipes[2][1], STDERR_FILENO) < 0) {
      err = errno;
    } else if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) {
      err = errno;
    } else if (dropRoot && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
      err = errno;
    } else {
      ::execvpe(args[0], args.data(), envp.data());
      err = errno;
    }
    (void)!::write(pipes[3][1], &err, sizeof err);
    ::_exit(127);
  }
  ::close(pipes[3][1]);
  int err = 0;
  ssize_t n;
  do {
    n = ::read(pipes[3][0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(pipes[3][0]);
  for (int i : {0}) {
    if (pipes[i][0] >= 0) ::close(pipes[i][0]);
  }
  for (int i : {1, 2}) {
    if (pipes[i][1] >= 0) ::close(pipes[i][1]);
  }
  child.pid = pid;
  child.input = pipes[0][1];
  child.out = pipes[1][0];
  child.err = pipes[2][0];
  child.started = n == 0;
  if (!child.started) child.failure = "cannot start " + argv[0] + ": " + std::strerror(err);
  return child;
}

RunResult Finish(Child& child) {
  RunResult result;
  result.started = child.started;
  result.err = child.failure;
  if (child.input >= 0) ::close(child.input);
  child.input = -1;
  pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = (child.out >= 0 ? 1 : 0) + (child.err >= 0 ? 1 : 0);
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
  child.out = child.err = -1;
  int status = 0;
  if (child.pid > 0) {
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (child.started) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
  }
  child.pid = -1;
  return result;
}

RunResult Run(const std::vector<std::string>& argv, const EnvChanges& env, const std::string& cwd) {
  Child child = Start(argv, {.env = env, .cwd = cwd});
  return Finish(child);
}

CommandResult RunCommand(const std::string& command) {
  const RunResult run = Run({"/bin/sh", "-c", command}, {});
  if (!run.err.empty()) std::fputs(run.err.c_str(), stderr);
  return {run.status, run.out};
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
