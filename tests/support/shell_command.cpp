#include "tests/support/shell_command.h"

#include <sys/wait.h>

#include <cstdio>

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
