// Helpers of the reliability tests: the store read back with the sqlcipher shell, child processes
// (optionally without root's privileges), and model files whose values tell them apart.
#pragma once

#include <string>
#include <vector>

namespace qrel {

// The key the program's connection string carries.
std::string StoreKey();

// Runs SQL on a store file with the sqlcipher shell, keyed as the program keys it. Returns whether
// the shell exited 0; its standard output and error go to *output.
bool ShellSql(const std::string& databaseFile, const std::string& sql, std::string* output);

// "ok" when PRAGMA integrity_check passes; otherwise what the shell said.
std::string IntegrityCheck(const std::string& databaseFile);

// The number of rows of table1 (-1 when the shell cannot read it).
long RowCount(const std::string& databaseFile);

struct ChildResult {
  int status = -1;      // exit status, or 128 + signal
  std::string output;   // standard output and error together
};

// Runs a program with the arguments given and waits for it. extraEnv entries ("NAME=value") are added
// to the environment. With unprivileged set and the test running as root, the child gives up root
// for the user and group nobody (65534) before it starts the program.
ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                     bool unprivileged = false);

// A child started without waiting: its standard output and error come through outFd.
struct Child {
  int pid = -1;
  int outFd = -1;
};
Child StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                 bool unprivileged = false);
// Reads the child's output to its end and waits for it.
ChildResult FinishChild(Child& child);

bool RunningAsRoot();

// The user and group the unprivileged children run as.
inline constexpr unsigned kNobody = 65534;

// Eleven values that name the file they come from: "<tag>.<column index>".
std::vector<std::string> TaggedValues(const std::string& tag);

// The qelmora-cli program of this build.
std::string CliProgram();

// A copy of qelmora-cli in the directory given, for children without root's privileges: the build
// tree may lie where user nobody cannot reach it.
std::string CliCopyIn(const std::string& directory);

}  // namespace qrel
