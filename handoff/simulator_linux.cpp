// Where the simulation program looks for the hand-off file on Linux. A native program (an ELF
// program or a script with its run bit) looks in $TMPDIR; the Windows program (a PE image) runs
// under Wine and looks in the temporary directory of its Wine prefix. Nothing is created in the
// prefix here: it is only asked where that directory lies.
#include <sys/stat.h>
#include <unistd.h>

#include "app/afx.h"
#include "app/platform.h"
#include "handoff/handoff.h"
#include "handoff/wine_linux.h"

namespace {

// A cold wine (no wineserver yet) answers within a few seconds; a prefix that wine must first
// update after an upgrade takes longer.
constexpr int kWineAnswerMs = 60000;

}  // namespace

SimulatorSetup PrepareSimulator() {
  const std::string program = SimulatorProgramPath();
  struct stat st {};
  if (::stat(program.c_str(), &st) != 0) return {ThePlatform().TempPath(), ""};

  if (wine::IsPeImage(program)) {
    const std::string winePath = wine::FindWine();
    if (winePath.empty()) return {"", "未找到 Wine，无法运行 Windows 程序 Kambrisolve.exe；请安装 wine"};
    const std::string prefix = wine::PrefixDirectory();
    if (!wine::PrefixExists(prefix)) {
      return {"", Format("Wine 环境 %s 尚未建立，无法运行 Windows 程序 Kambrisolve.exe；请先运行一次 winecfg 建立它",
                         prefix.c_str())};
    }
    const wine::TempDirectory temp = wine::QueryTempDirectory(winePath, kWineAnswerMs);
    if (!temp.failure.empty()) {
      return {"", Format("无法确定 Wine 环境 %s 的临时目录（%s），仿真程序未启动", prefix.c_str(),
                         temp.failure.c_str())};
    }
    return {temp.directory, ""};
  }

  if (S_ISREG(st.st_mode) && ::access(program.c_str(), X_OK) == 0) return {ThePlatform().TempPath(), ""};
  return {"", Format("仿真程序 %s 既不是可运行的程序，也不是 Windows 程序，无法启动；请给它加上运行权限"
                     "（chmod +x）或重新安装仿真程序",
                     program.c_str())};
}
