// The --source pattern on Windows: the shell's PathMatchSpecA.
#include <windows.h>
#include <shlwapi.h>

#include "history/history_filter.h"

bool SourceMatches(const std::string& pattern, const std::string& path) {
  return PathMatchSpecA(path.c_str(), pattern.c_str()) != FALSE;
}
