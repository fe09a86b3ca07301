// What the operating system provides to the portable core: the program's own path, the system and
// temporary directories, existence tests, exclusive file writes, starting programs and ending the
// process. One real implementation per platform (platform_linux.cpp, platform_win.cpp); tests may
// install their own to move the program directory into a temp dir or to catch the process exit.
#pragma once

#include <string>

// The parts of a path as _splitpath gives them. dir starts and ends with the separator when it is
// not empty; drive is empty on Linux.
struct PathParts {
  std::string drive;
  std::string dir;
  std::string fname;
  std::string ext;
};

// Splits a path at '/' and, on Windows, also at '\\' and after a drive letter.
PathParts SplitPath(const std::string& path);

#ifdef _WIN32
// Whether c is the lead byte of a double-byte character in the system code page (IsDBCSLeadByte):
// its trail byte may look like a backslash. No byte is one in a single-byte code page such as 1252.
bool IsSystemLeadByte(unsigned char c);

inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// MAX_PATH: the size of the path buffers of the Windows program, terminator included.
inline constexpr std::size_t kMaxPath = 260;

// Shown instead of any step that needs the program's own path when that path is not known: nothing
// is then done with an empty path (it would name the current directory or nothing at all).
inline constexpr const char* kProgramPathUnknownText =
    "无法取得本程序的完整路径(路径超过260字节或程序文件找不到)，此操作未执行!";

class Platform {
 public:
  virtual ~Platform() = default;

  // GetModuleFileNameA of the program's own module: the full path of the running executable. Empty
  // when it is not known: on Windows it does not fit kMaxPath bytes, on Linux it cannot be found.
  virtual std::string ModuleFileName() = 0;

  // The directory that receives the location record (Windows: GetSystemDirectoryA; Linux:
  // ${XDG_DATA_HOME:-$HOME/.local/share}/qelmora, created when missing). No trailing separator.
  virtual std::string SystemDirectory() = 0;

  // The user's temporary directory, with a trailing separator (GetTempPathA; Linux: $TMPDIR or /tmp).
  virtual std::string TempPath() = 0;

  // _access(path, 0) == 0: the path exists (a file or a directory).
  virtual bool Exists(const std::string& path) = 0;

  // Creates or truncates a file with no sharing and writes the bytes. Returns a FileException cause
  // (0 on success).
  virtual int WriteWholeFileExclusive(const std::string& path, const std::string& bytes) = 0;

  // Initialises OLE for the user-interface thread (AfxOleInit); nothing to do on Linux.
  virtual void OleInit() = 0;

  // Starts a program detached, with the working directory given and no arguments (ShellExecuteA
  // "open"). Returns false when it could not be started.
  virtual bool StartProgram(const std::string& program, const std::string& workingDirectory) = 0;

  // Ends the process at once with the status given (exit). Tests replace it to catch the call.
  [[noreturn]] virtual void ExitProcess(int status) = 0;
};

// The platform in force: the real one, unless a test installed another.
Platform& ThePlatform();
// Installs a platform (not owned); nullptr restores the real one.
void SetPlatform(Platform* platform);
// The real platform of this build.
Platform& RealPlatform();

// The drive and directory of the running executable, joined: always ends in the separator.
std::string ProgramDirectory();

// The directory that holds the program's data file or folder `name` (a path relative to the program
// directory), ending in the separator: the program directory when name exists there (a program run
// from its build or unpacked folder, and always on Windows), else the user's data directory of an
// installed program (Linux: ${XDG_DATA_HOME:-$HOME/.local/share}/qelmora/, created when missing).
std::string DataDirectory(const std::string& name);

// True for a program installed on the system (Linux: its directory is the bin folder of an
// installation, with the program's desktop entry in ../share/applications/qelmora.desktop), whose
// store is the user's, never one beside it; false for a program run from its build or unpacked
// folder, and always on Windows, where the store lies beside the program.
bool ProgramIsInstalled();

// path made absolute against the current directory, links not resolved (Windows: GetFullPathNameA).
// An absolute path, and a path whose full form cannot be had, come back as they are.
std::string AbsolutePath(const std::string& path);
