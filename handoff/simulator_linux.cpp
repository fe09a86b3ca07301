// Where the simulation program looks for the hand-off file on Linux. A native program (an ELF
// program or a script with its run bit) looks in $TMPDIR; the Windows program (a PE image) runs
// under Wine and looks in the temporary directory of its Wine prefix. Nothing is created in the
// prefix here: it is only asked where that directory lies. A 32-bit Windows program on a computer
// that cannot run 32-bit programs is refused here, before anything is written.
#include <sys/stat.h>
#include <unistd.h>

#include "base/afx.h"
#include "base/platform.h"
#include "handoff/handoff.h"
#include "base/wine_linux.h"

namespace {

// A cold wine (no wineserver yet) answers within a few seconds; a prefix that wine must first
// update after an upgrade takes longer.
constexpr int kWineAnswerMs = 60000;

}  // namespace

std::string SimulatorTempDirectory() {
  const std::string program = SimulatorProgramPath();
  struct stat st {};
  if (::stat(program.c_str(), &st) != 0) return ThePlatform().TempPath();

  if (wine::IsPeImage(program)) {
    const wine::Launcher launcher = wine::LauncherFor(program);
    if (!launcher.failure.empty()) throw OperationError(launcher.failure);
    const std::string prefix = wine::PrefixDirectory();
    if (!wine::PrefixExists(prefix)) {
      throw OperationError(Format("Wine 环境 %s 尚未建立，无法运行 Windows 程序 Kambrisolve.exe；请先运行一次 winecfg 建立它",
                                  prefix.c_str()));
    }
    const wine::TempDirectory temp = wine::QueryTempDirectory(launcher, kWineAnswerMs);
    if (!temp.failure.empty()) {
      throw OperationError(Format("无法确定 Wine 环境 %s 的临时目录（%s），仿真程序未启动", prefix.c_str(),
                                  temp.failure.c_str()));
    }
    return temp.directory;
  }

  if (S_ISREG(st.st_mode) && ::access(program.c_str(), X_OK) == 0) return ThePlatform().TempPath();
  throw OperationError(Format("仿真程序 %s 既不是可运行的程序，也不是 Windows 程序，无法启动；请给它加上运行权限"
                              "（chmod +x）或重新安装仿真程序",
                              program.c_str()));
}
