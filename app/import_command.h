// The import as the commands run it (OK of the dialog, qelmora-cli import): the model file at path
// into the run's store, and what happened shown in message boxes.
#pragma once

#include <string>

#include "model/import.h"

// The question asked before a file is imported again: "该文件内容已于 … 导入，确定再导入一次吗?", with the
// earlier row's import time as the report shows times.
std::string ImportAgainQuestion(const std::string& importedAt);

// Sets g_nModelReadPos to 0 and imports. Shows "插入成功!" (with the quality note), or where the row
// waits, and gives true; or shows why nothing was saved and gives false. A file already imported is
// imported again only when importAgain says so (by default the user is asked ImportAgainQuestion),
// else false. A file that cannot be read ends the command: its notice ("error:%u\n") is shown and the
// FileException goes on to the command's caller, which shows its report.
bool RunImport(const std::string& path, const ImportAgainRule& importAgain = {});
