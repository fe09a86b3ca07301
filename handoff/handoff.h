// The simulation hand-off: the current parameter set as eleven little-endian IEEE doubles (88 bytes)
// in the file "~qe10.tmp" of the user's temporary directory, then the start of sim/Kambrisolve.exe
// beside the executable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "store/store.h"

inline constexpr std::size_t kHandoffFileSize = 88;
// The name the simulation program looks for in the temporary directory.
inline constexpr const char* kHandoffFileName = "~qe10.tmp";
using HandoffBytes = std::array<std::uint8_t, kHandoffFileSize>;

// The 88 bytes of a parameter set (each text converted with TextToDouble).
HandoffBytes EncodeHandoff(const ParameterSet& parameters);

// Backend: the full path of the hand-off file (GetTempPathA + GetTempFileNameA with "~qelmora" and 16,
// which is always "~qe10.tmp" in the temporary directory).
std::string HandoffFilePath();

// Backend: writes the bytes as the whole content of the file at path, complete and closed when it
// returns. Returns an empty text on success, else the reason (for the user's message).
std::string WriteHandoffFile(const std::string& path, const HandoffBytes& bytes);

// The simulation program ("sim" + separator + "Kambrisolve.exe" in the program directory, else in the
// user's data directory: see DataDirectory) and its working directory (the "sim" folder, no trailing
// separator).
std::string SimulatorProgramPath();
std::string SimulatorWorkingDirectory();

// The message shown when the hand-off file cannot be written (the file's path and the reason).
std::string HandoffWriteFailureText(const std::string& path, const std::string& reason);

// The current parameter set (read from the open recordset) into the hand-off file. Returns the file's
// path, or nullopt after telling the user why it could not be written (nothing is to be started).
std::optional<std::string> WriteCurrentSetToHandoffFile();

// Starts the simulation program in its folder; false after the "To be updated!" notice.
bool StartSimulator();
