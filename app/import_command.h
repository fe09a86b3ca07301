// The import as the commands run it (OK of the dialog, qelmora-cli import): the model file at path
// into the run's store, and what happened shown in message boxes.
#pragma once

#include <string>

// Sets g_nModelReadPos to 0 and imports. Shows "插入成功!" (with the quality note) and gives true,
// or shows why nothing was saved and gives false. A file that cannot be read ends the command: its
// notice ("error:%u\n") is shown and the FileException goes on to the command's caller, which shows
// its report.
bool RunImport(const std::string& path);
