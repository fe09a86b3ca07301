// The .mdl file association: the program registered as the handler of model files, checked, and
// the outcome reported with the codes bind001..bind003, inqury001 and whole001.
#pragma once

#include <string>

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

// Writes the three entries, showing "文件关联设置失败\r\n错误代码-bind00N" (ownerless, caption
// "错误提示") and stopping at the first step that fails.
void RegisterMdlFileType();
// 1 when the association is in place, else shows the inqury001 message and gives 0.
int CheckMdlFileType();
// The whole command: registration, then the check, which alone decides the outcome ("文件关联设置成功!",
// caption "信息提示", then AssociationNotifyChanged; or "文件关联设置失败\r\n错误代码-whole001", caption
// "错误提示"; both owned by the main dialog). Returns the check's result.
int AssociateMdl();
