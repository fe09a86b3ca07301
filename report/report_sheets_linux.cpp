#include "report/report_sheets.h"

#include <cstdlib>

std::string PathAsShown(const std::string& path) {
  const char* home = std::getenv("HOME");
  std::string prefix = home != nullptr ? home : "";
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  if (prefix.empty() || path.size() <= prefix.size() + 1 || path.compare(0, prefix.size(), prefix) != 0 ||
      path[prefix.size()] != '/') {
    return path;
  }
  return "~" + path.substr(prefix.size());
}
