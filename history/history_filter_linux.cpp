// The --source pattern on Linux: fnmatch(3).
#include <fnmatch.h>

#include "history/history_filter.h"

bool SourceMatches(const std::string& pattern, const std::string& path) {
  return fnmatch(pattern.c_str(), path.c_str(), 0) == 0;
}
