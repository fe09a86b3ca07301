// The Windows build of the simulation program on Linux: it runs under Wine, in a Wine prefix, and
// looks for the hand-off file in the temporary directory that Wine gives it, not in $TMPDIR.
#pragma once

#include <string>
#include <vector>

namespace wine {

// The processor a PE image is built for, from the machine field of its COFF header.
enum class PeMachine { None, I386, Amd64, Other };

// None unless the file is a PE image: "MZ" at offset 0 and "PE\0\0" at the offset stored as a 32-bit
// little-endian number at 0x3C; the COFF header's machine field follows the signature (Other when
// it is cut off).
PeMachine PeImageMachine(const std::string& path);
inline bool IsPeImage(const std::string& path) { return PeImageMachine(path) != PeMachine::None; }

// The full path of the "wine" program in PATH, or an empty text when there is none.
std::string FindWine();

// False where the kernel refuses to execute a 32-bit x86 program ("Exec format error"); asked once.
bool CanRun32BitPrograms();

// How a Windows program is started here. Debian's wine starts Wine's 32-bit loader whenever it is
// installed, and that cannot run where 32-bit programs cannot: there Wine's 64-bit loader (wine64
// in PATH, else Debian's /usr/lib/wine/wine64) is started directly and named in WINELOADER.
struct Launcher {
  std::string wine;                      // the program that runs the Windows program
  std::vector<std::string> environment;  // NAME=VALUE entries set for it
  std::string failure;                   // why the Windows program cannot run here; empty when it can
};
Launcher LauncherFor(const std::string& program);

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
TempDirectory QueryTempDirectory(const Launcher& launcher, int timeoutMs);

}  // namespace wine
