// Application-wide values of the application shell.
#pragma once

#include <string>

// Full path of the current model file: set at start-up from the path box and by the file choice,
// read by the import.
extern std::string g_strModelPath;
// File name part (name and extension) of the file last chosen with "...".
extern std::string g_strModelFileName;
