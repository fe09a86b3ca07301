#include <cstdio>

#include "app/cli.h"

int CliImport(const CliContext&, const std::vector<std::string>&) {
  std::puts("此功能尚未提供。");
  return 1;
}

