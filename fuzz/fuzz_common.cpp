#include "fuzz/fuzz_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzzsupport {

namespace {

struct Scratch {
  std::string dir;
  ~Scratch() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
};

}  // namespace

std::string ScratchDirectory() {
  static Scratch scratch;
  if (scratch.dir.empty()) {
    std::string base = "/dev/shm";
    struct stat info {};
    if (::stat(base.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || ::access(base.c_str(), W_OK) != 0) {
      base = std::filesystem::temp_directory_path().string();
    }
    std::string pattern = base + "/qelmora-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch directory under " + base);
    scratch.dir = pattern + "/";
  }
  return scratch.dir;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Check(out.good(), "cannot write " + path);
}

std::string Escape(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

bool WaitOutForeignLock(const std::string& path, int attempt) {
  static long total = 0;
  ++total;
  std::fprintf(stderr, "another process holds a lock on %s (%ld times so far)\n", path.c_str(), total);
  if (attempt == 0) {
    const std::string command = "fuser -v '" + path + "' 1>&2";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "(fuser names no holder)\n");
  }
  if (attempt >= 100) return false;
  ::usleep(20000);
  return true;
}

}  // namespace fuzzsupport
