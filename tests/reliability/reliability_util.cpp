#include "tests/reliability/reliability_util.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/shell_command.h"

namespace qrel {

Child StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                 bool unprivileged) {
  qtest::RunOptions options{.mergeErrors = true, .unprivileged = unprivileged};
  for (const std::string& extra : extraEnv) {
    const std::size_t eq = extra.find('=');
    options.env.emplace_back(extra.substr(0, eq), extra.substr(eq + 1));
  }
  return qtest::Start(argv, options);
}

ChildResult FinishChild(Child& child) {
  const qtest::RunResult run = qtest::Finish(child);
  return {run.signal != 0 ? 128 + run.signal : run.status, run.out + run.err};
}

ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                     bool unprivileged) {
  Child child = StartChild(argv, extraEnv, unprivileged);
  return FinishChild(child);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

std::vector<std::string> TaggedValues(const std::string& tag) {
  std::vector<std::string> values;
  // Numbers, as the import takes nothing else: each byte of the tag as three digits.
  std::string digits;
  for (const unsigned char c : tag) digits += std::to_string(1000 + c).substr(1);
  for (int i = 0; i < 11; ++i) values.push_back(digits + "." + std::to_string(i));
  return values;
}

std::string TagOf(const std::string& value) {
  std::string tag;
  for (std::size_t at = 0; at + 3 <= value.find('.'); at += 3) tag += static_cast<char>(std::stoi(value.substr(at, 3)));
  return tag;
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
