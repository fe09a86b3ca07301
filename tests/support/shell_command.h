// Child processes of the tests on Linux: shell commands with their output collected, and the
// sqlcipher command-line shell as a reader and writer of store files independent of the program's
// own store code.
#pragma once

#include <string>

namespace qtest {

struct CommandResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string output;
};

// Runs a command with /bin/sh and collects its standard output (and error, when the command
// redirects it).
CommandResult RunCommand(const std::string& command);

// A shell word in single quotes.
std::string ShellQuote(const std::string& text);

// The store's key, taken from the connection string (the one place that holds it).
std::string StoreKey();

// Runs a script (SQL and dot-commands) with the sqlcipher shell on a database file, keyed first with
// `key` (no key when empty); standard output and error together. Fails the running test when the
// shell is not installed.
CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& script);

}  // namespace qtest
