// Stand-in for the dialog program: writes its working directory and its arguments, each ended by a
// zero byte, to $QELMORA_ARGS_FILE (through a temporary file, so the file appears complete).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* out = std::getenv("QELMORA_ARGS_FILE");
  if (out == nullptr) return 2;
  std::string record;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) != nullptr) record += cwd;
  record += '\0';
  for (int i = 0; i < argc; ++i) {
    record += argv[i];
    record += '\0';
  }
  const std::string part = std::string(out) + ".part";
  std::FILE* file = std::fopen(part.c_str(), "wb");
  if (file == nullptr) return 3;
  const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
  if (std::fclose(file) != 0 || !written) return 3;
  return std::rename(part.c_str(), out) == 0 ? 0 : 3;
}
