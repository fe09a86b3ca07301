// The import command's store work: appends the element values of the model file g_strModelPath as
// one new row of table1. Every outcome is shown in a message box.
#pragma once

#include <functional>
#include <string>

// When the file's bytes are those of this workstation's newest row from the same file, the import
// goes on only when importAgain, given the question, says so; by default the user is asked.
// Returns true when a row was saved (the command itself has no result; the command-line tool uses it).
bool ImportModelFile(const std::function<bool(const std::string& question)>& importAgain = {});
