// Child processes of the tests on Linux: shell commands with their output collected, and the
// sqlcipher command-line shell as a reader and writer of store files independent of the program's
// own store code.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qtest {

struct CommandResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string output;
};

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;  // standard output (and error, when merged)
  std::string err;
  bool started = false;
};

// How a child program runs: its environment changed as given, in cwd when not empty. Standard input
// is /dev/null unless feedInput (then Child::input is its other end). mergeErrors sends standard
// error into the output. unprivileged (when the test runs as root): the child gives up root for the
// user and group nobody (65534) before the program starts.
struct RunOptions {
  EnvChanges env;
  std::string cwd;
  bool mergeErrors = false;
  bool feedInput = false;
  bool unprivileged = false;
};

// A child started without waiting.
struct Child {
  int pid = -1;
  int input = -1;   // its standard input, with feedInput
  int out = -1;
  int err = -1;
  bool started = false;
  std::string failure;  // why it did not start
};

// The one runner of child programs: starts argv (argv[0] looked up in PATH) as options say.
Child Start(const std::vector<std::string>& argv, const RunOptions& options = {});
// Closes the child's input, reads its output to the end and waits for it.
RunResult Finish(Child& child);

// Start and Finish in one.
RunResult Run(const std::vector<std::string>& argv, const EnvChanges& env, const std::string& cwd = {});

// Runs a command with /bin/sh and collects its standard output (and error, when the command
// redirects it; otherwise its error goes to ours).
CommandResult RunCommand(const std::string& command);

// Runs body in a forked child process and gives back the text it returned; prepare runs first in the
// child (to change its user or its limits) and the child gives up with its message when it throws.
std::string RunInChild(const std::function<std::string()>& body, const std::function<void()>& prepare = {});

// RunInChild as the user "nobody" (nothing when there is no such user or the test is not root).
std::optional<std::string> RunAsNobody(const std::function<std::string()>& body);

// A shell word in single quotes.
std::string ShellQuote(const std::string& text);

// The store's key, taken from the connection string (the one place that holds it).
std::string StoreKey();

// Runs a script (SQL and dot-commands) with the sqlcipher shell on a database file, keyed first with
// `key` (no key when empty); standard output and error together. Fails the running test when the
// shell is not installed.
CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& script);

}  // namespace qtest
