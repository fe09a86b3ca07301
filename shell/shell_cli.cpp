#include <cstdio>

#include "app/cli.h"

int CliAssociate(const CliContext&, const std::vector<std::string>&) {
  std::puts("此功能尚未提供。");
  return 1;
}

int CliShortcut(const CliContext&, const std::vector<std::string>&) {
  std::puts("此功能尚未提供。");
  return 1;
}

