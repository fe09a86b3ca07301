// The hand-off as the commands run it ("Transfer data" of the dialog, qelmora-cli handoff): the
// work, and what happened shown in message boxes. (app/transfer.cpp)
#pragma once

#include <optional>
#include <string>

// The hand-off file of the run's store's current set where the simulation program looks. Returns its
// path; when the program cannot be run or the file cannot be written, shows why and gives nothing
// (nothing is to be started). Store failures raise StoreError for the command to report.
std::optional<std::string> WriteHandoffForCommand();

// Starts the simulation program; false after its notice (caption "Notice", owned by the dialog).
bool StartSimulator();
