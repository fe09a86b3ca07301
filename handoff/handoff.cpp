#include "handoff/handoff.h"

#include <bit>
#include <cstdint>
#include <limits>

#include "base/afx.h"
#include "base/platform.h"
#include "base/number_text.h"
#include "store/store.h"
#include "report/report.h"
#include "store/parameter_store.h"

HandoffBytes EncodeHandoff(const ParameterSet& parameters) {
  static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
                "the hand-off file holds IEEE 754 binary64 numbers");
  HandoffBytes bytes{};
  std::size_t offset = 0;
  for (const std::string& text : parameters) {
    // The bit pattern is taken as an integer and laid out least significant byte first, so the file
    // is little-endian whatever the host's own byte order.
    const auto bits = std::bit_cast<std::uint64_t>(TextToDouble(text));
    for (int i = 0; i < 8; ++i) bytes[offset++] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  return bytes;
}

std::string SimulatorWorkingDirectory() {
  // Beside the program when it is there, else in the user's data directory of an installed program.
  return DataDirectory(std::string("sim") + kPathSeparator + "Kambrisolve.exe") + "sim";
}

std::string SimulatorProgramPath() { return SimulatorWorkingDirectory() + kPathSeparator + "Kambrisolve.exe"; }

std::string WriteCurrentSetToHandoffFile(ParameterStore& store, const std::string& directory) {
  // A failed read (an empty history, a store that is not open) ends the command before anything is
  // written.
  const HandoffBytes bytes = EncodeHandoff(store.ReadCurrent().parameters);

  const std::string path = HandoffFilePath(directory);
  try {
    WriteHandoffFile(path, bytes);
  } catch (const OperationError& e) {
    throw OperationError(
        Format("无法写入数据文件，仿真程序未启动。\r\n\r\n文件：%s\r\n原因：%s", path.c_str(), e.what()), e.Cause());
  }
  return path;
}

void StartSimulationProgram() {
  // Without the program's path the simulator would be looked for in the current directory.
  if (ThePlatform().ModuleFileName().empty()) throw OperationError(kProgramPathUnknownText);
  if (!ThePlatform().StartProgram(SimulatorProgramPath(), SimulatorWorkingDirectory())) {
    throw OperationError("To be updated!");
  }
}
