#include "base/platform.h"

namespace {
Platform* g_pPlatform = nullptr;

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}
}  // namespace

Platform& ThePlatform() { return g_pPlatform != nullptr ? *g_pPlatform : RealPlatform(); }

void SetPlatform(Platform* platform) { g_pPlatform = platform; }

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  std::string rest = path;
#ifdef _WIN32
  if (rest.size() >= 2 && rest[1] == ':') {
    parts.drive = rest.substr(0, 2);
    rest.erase(0, 2);
  }
#endif
  std::size_t lastSep = std::string::npos;
  for (std::size_t i = 0; i < rest.size(); ++i) {
#ifdef _WIN32
    // A trail byte of a double-byte character may look like a backslash: skip the pair.
    const unsigned char c = static_cast<unsigned char>(rest[i]);
    if (IsSystemLeadByte(c) && i + 1 < rest.size()) {
      ++i;
      continue;
    }
#endif
    if (IsSeparator(rest[i])) lastSep = i;
  }
  std::string file;
  if (lastSep != std::string::npos) {
    parts.dir = rest.substr(0, lastSep + 1);
    file = rest.substr(lastSep + 1);
  } else {
    file = rest;
  }
  const std::size_t dot = file.rfind('.');
  if (dot != std::string::npos) {
    parts.fname = file.substr(0, dot);
    parts.ext = file.substr(dot);
  } else {
    parts.fname = file;
  }
  return parts;
}

std::string ProgramDirectory() {
  const PathParts parts = SplitPath(ThePlatform().ModuleFileName());
  return parts.drive + parts.dir;
}
