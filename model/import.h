// The import command's store work: appends the element values of the model file at modelPath (the
// dialog's g_strModelPath) as one new row of table1. Every outcome is shown in a message box.
#pragma once

#include <string>

// Returns true when a row was saved (the command itself has no result; the command-line tool uses it).
bool ImportModelFile(const std::string& modelPath);
