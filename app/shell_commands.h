// The shell integration as the commands run it ("Associate mdl" and "shortcut" of the dialog,
// qelmora-cli associate and shortcut): the work, then what happened shown in message boxes.
#pragma once

#include <string>

class AssociationError;

// Registration, then the check, which alone decides the outcome. A failed step is shown ownerless
// (caption "错误提示") as it happens; then "文件关联设置成功!" (caption "信息提示", then
// AssociationNotifyChanged) or "文件关联设置失败\r\n错误代码-whole001" (caption "错误提示"), both owned by
// the main dialog. Without the program's path: kProgramPathUnknownText (caption "错误提示"), nothing
// written. Returns whether the association is in place. (app/association_command.cpp)
bool AssociateMdl();
// How a failed step of the association is shown.
void ShowAssociationStepFailure(const AssociationError& error);

// The desktop shortcut kShortcutBaseName to the program at target, then "Succeed!" (caption
// "information") or "error short cut=N" (caption "error") owned by the main dialog. Returns 0, or
// the code shown. An empty target (the program's path is not known) is refused with
// kProgramPathUnknownText (caption "error") and gives kShortcutNoTarget; nothing is created.
// (app/shortcut_command.cpp)
int MakeDesktopShortcut(const std::string& target);
