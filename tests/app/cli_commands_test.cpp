// qelmora-cli's commands as its users learn them: the usage text the program prints and the manual
// page list the same commands.
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/shell_command.h"

namespace {

// The first word of each entry (.TP, then .B or .BI) of the manual page's COMMANDS section.
std::set<std::string> ManualPageCommands(const std::string& page) {
  std::ifstream in(page);
  std::set<std::string> names;
  std::string line, previous;
  bool inCommands = false;
  const std::regex entry(R"(^\.BI? +"?([a-z][a-z-]*))");
  for (std::smatch match; std::getline(in, line); previous = line) {
    if (line.rfind(".SH", 0) == 0) inCommands = line == ".SH COMMANDS";
    if (inCommands && previous == ".TP" && std::regex_search(line, match, entry)) names.insert(match[1]);
  }
  return names;
}

// The commands of the usage text: a line of two blanks and the command's name.
std::set<std::string> UsageCommands(const std::string& usage) {
  std::set<std::string> names;
  const std::regex entry(R"(^  ([a-z][a-z-]*)( |$))");
  std::istringstream lines(usage);
  for (std::string line; std::getline(lines, line);) {
    if (std::smatch match; std::regex_search(line, match, entry)) names.insert(match[1]);
  }
  return names;
}

TEST(CliCommands, UsageAndManualPageListTheSameCommands) {
  const qtest::RunResult help = qtest::Run({QELMORA_CLI, "--help"}, {});
  ASSERT_EQ(help.status, 0) << help.err;
  const std::set<std::string> usage = UsageCommands(help.out);
  const std::set<std::string> expected = {"init-store", "import",    "history",  "report",       "spectrum",
                                          "quality",    "backup",    "handoff",  "associate",    "shortcut",
                                          "copy-history", "outbox",  "sync"};
  EXPECT_EQ(usage, expected) << help.out;
  EXPECT_EQ(ManualPageCommands(QELMORA_SOURCE_DIR "/packaging/qelmora-cli.1"), usage);
  // Every line of the usage fits 80 columns.
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

}  // namespace
