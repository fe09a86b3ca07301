// Helpers of the reliability tests: the store read back with the sqlcipher shell, child processes
// (optionally without root's privileges), and model files whose values tell them apart.
#pragma once

#include <string>
#include <vector>

#include "tests/support/shell_command.h"

namespace qrel {

struct ChildResult {
  int status = -1;      // exit status, or 128 + signal
  std::string output;   // standard output and error together
};

// Runs a program with the arguments given through the tests' runner (qtest::Start) and waits for it;
// standard output and error together. extraEnv entries ("NAME=value") are added to the environment.
// With unprivileged set and the test running as root, the child runs as the user nobody.
ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                     bool unprivileged = false);

// The same in two steps: a child started without waiting, then its output read to the end.
using Child = qtest::Child;
Child StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                 bool unprivileged = false);
ChildResult FinishChild(Child& child);

bool RunningAsRoot();

// Eleven numbers that name the file they come from: "<the tag's bytes as three digits each>.<column index>".
std::vector<std::string> TaggedValues(const std::string& tag);
// The tag of one of them.
std::string TagOf(const std::string& value);

// The qelmora-cli program of this build.
std::string CliProgram();

// A copy of qelmora-cli in the directory given, for children without root's privileges: the build
// tree may lie where user nobody cannot reach it.
std::string CliCopyIn(const std::string& directory);

}  // namespace qrel
