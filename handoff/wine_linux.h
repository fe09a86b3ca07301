// The Windows build of the simulation program on Linux: it runs under Wine, in a Wine prefix, and
// looks for the hand-off file in the temporary directory that Wine gives it, not in $TMPDIR.
#pragma once

#include <string>

namespace wine {

// True when the file is a PE image: "MZ" at offset 0 and "PE\0\0" at the offset stored as a 32-bit
// little-endian number at 0x3C.
bool IsPeImage(const std::string& path);

// The full path of the "wine" program in PATH, or an empty text when there is none.
std::string FindWine();

// The prefix Wine runs programs in: $WINEPREFIX, else $HOME/.wine (no trailing slash).
std::string PrefixDirectory();

// True when the prefix has been set up (its registry files exist); wine would create it otherwise.
bool PrefixExists(const std::string& prefix);

// What GetTempPathA returns to a program in the prefix, as a Unix path with a trailing slash; or
// the reason it could not be found.
struct TempDirectory {
  std::string directory;
  std::string failure;
};

// Asks wine itself (its cmd expands %TMP% and its winepath turns the result into a Unix path), so
// the answer is the prefix's own, whatever its registry holds. Waits at most timeoutMs.
TempDirectory QueryTempDirectory(const std::string& winePath, int timeoutMs);

}  // namespace wine
