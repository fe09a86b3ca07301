#include "tests/reliability/reliability_util.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/support/shell_command.h"

extern char** environ;

namespace qrel {

std::string StoreKey() { return qtest::StoreKey(); }

bool ShellSql(const std::string& databaseFile, const std::string& sql, std::string* output) {
  const qtest::CommandResult result = qtest::Sqlcipher(databaseFile, StoreKey(), sql);
  *output = result.output;
  return result.status == 0;
}

std::string IntegrityCheck(const std::string& databaseFile) {
  std::string output;
  ShellSql(databaseFile, "PRAGMA integrity_check;", &output);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

long RowCount(const std::string& databaseFile) {
  std::string output;
  if (!ShellSql(databaseFile, "SELECT count(*) FROM table1;", &output)) return -1;
  char* end = nullptr;
  const long count = std::strtol(output.c_str(), &end, 10);
  return end == output.c_str() ? -1 : count;
}

Child StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                 bool unprivileged) {
  Child child;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return child;

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const std::string& extra : extraEnv) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& entry) { return entry.compare(0, name.size(), name) == 0; });
    env.push_back(extra);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 1);
    ::dup2(pipeFds[1], 2);
    if (unprivileged && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
    }
    ::execvpe(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    return child;
  }
  child.pid = pid;
  child.outFd = pipeFds[0];
  return child;
}

ChildResult FinishChild(Child& child) {
  ChildResult result;
  if (child.outFd >= 0) {
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(child.outFd, buffer, sizeof buffer)) != 0) {
      if (got < 0) {
        if (errno == EINTR) continue;
        break;
      }
      result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(child.outFd);
    child.outFd = -1;
  }
  int status = 0;
  if (child.pid > 0 && ::waitpid(child.pid, &status, 0) == child.pid) {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  child.pid = -1;
  return result;
}

ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                     bool unprivileged) {
  Child child = StartChild(argv, extraEnv, unprivileged);
  return FinishChild(child);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

std::vector<std::string> TaggedValues(const std::string& tag) {
  std::vector<std::string> values;
  for (int i = 0; i < 11; ++i) values.push_back(tag + "." + std::to_string(i));
  return values;
}

std::string CliProgram() { return QELMORA_CLI; }

std::string CliCopyIn(const std::string& directory) {
  const std::filesystem::path target = std::filesystem::path(directory) / "qelmora-cli";
  std::filesystem::copy_file(CliProgram(), target, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
  return target.string();
}

}  // namespace qrel
