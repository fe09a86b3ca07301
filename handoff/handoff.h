// The simulation hand-off: the current parameter set as eleven little-endian IEEE doubles (88 bytes)
// in the file "~qe10.tmp" of the user's temporary directory, then the start of sim/Kambrisolve.exe
// beside the executable. On Linux a Windows build of that program runs under wine, and its
// temporary directory is the one of its Wine prefix.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "store/store.h"

inline constexpr std::size_t kHandoffFileSize = 88;
// The name the simulation program looks for in the temporary directory.
inline constexpr const char* kHandoffFileName = "~qe10.tmp";
using HandoffBytes = std::array<std::uint8_t, kHandoffFileSize>;

// The 88 bytes of a parameter set (each text converted with TextToDouble).
HandoffBytes EncodeHandoff(const ParameterSet& parameters);

// Backend: the full path of the hand-off file in the directory given, which ends in the separator
// (GetTempFileNameA with "~qelmora" and 16, which is always "~qe10.tmp" in that directory).
std::string HandoffFilePath(const std::string& directory);

// Backend: the temporary directory that the simulation program will look in (with the separator at
// its end). Raises OperationError with why the program cannot be run at all: then nothing is to be
// written or started. A program that is missing is no problem here: its start fails later with the
// usual notice.
std::string SimulatorTempDirectory();

// Backend: writes the bytes as the whole content of the file at path, complete and closed when it
// returns. Raises OperationError with the reason (for the user's message) when it cannot.
void WriteHandoffFile(const std::string& path, const HandoffBytes& bytes);

// The simulation program ("sim" + separator + "Kambrisolve.exe" in the program directory, else in the
// user's data directory: see DataDirectory) and its working directory (the "sim" folder, no trailing
// separator).
std::string SimulatorProgramPath();
std::string SimulatorWorkingDirectory();

// The current parameter set of store into the hand-off file in the directory given. Returns the
// file's path. A file that cannot be written raises OperationError naming the file and the reason
// (nothing is to be started); store failures raise StoreError before anything is written.
std::string WriteCurrentSetToHandoffFile(ParameterStore& store, const std::string& directory);

// Starts the simulation program in its folder. Raises OperationError with the notice ("To be
// updated!", or kProgramPathUnknownText when the program's path is not known).
void StartSimulationProgram();
