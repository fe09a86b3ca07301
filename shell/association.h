// The .mdl file association: the program registered as the handler of model files, checked, and
// the outcome reported with the codes bind001..bind003, inqury001 and whole001.
#pragma once

#include <string>

#include "base/errors.h"

// Backend steps (association_linux.cpp: freedesktop MIME type, desktop entry and icon for the user;
// association_win.cpp: the keys under HKEY_CLASSES_ROOT). Each returns false when its key or file
// cannot be created. exePath is the full path of the program to register.
bool AssociationWriteType();                                // bind001: ".mdl" → "mdlfile"
bool AssociationWriteOpenCommand(const std::string& exePath);  // bind002: the open command
bool AssociationWriteIcon(const std::string& exePath);      // bind003: the icon
bool AssociationCheck(const std::string& exePath);          // inqury001: the entries are ours, the type writable
void AssociationNotifyChanged();                            // tell the desktop associations changed

// The program the association names: the running executable (the command-line tool names the dialog
// program beside it).
std::string AssociationTargetPath();

// A step of the association that failed: what() is "文件关联设置失败\r\n错误代码-" and its code
// (bind001..bind003, inqury001, whole001), which is also its cause.
class AssociationError : public OperationError {
 public:
  explicit AssociationError(const std::string& code);
};

// Writes the three entries; raises AssociationError (bind001..bind003) at the first step that fails.
void RegisterMdlFileType();
// Raises AssociationError (inqury001) unless the association is in place.
void CheckMdlFileType();
