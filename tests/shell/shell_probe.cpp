// shell_probe associate|shortcut|check MODULE: presses "Associate mdl" or "shortcut" of the main
// dialog, or runs the association check alone, with the running executable moved to MODULE; prints every message box as
// kind TAB caption TAB type TAB text (with \, CR, LF and TAB escaped). Run as a child process so
// that GIO reads the environment the test gives it.
#include <cstdio>
#include <string>

#include "app/main_dialog.h"
#include "app/shell_commands.h"
#include "res/resource.h"
#include "shell/association.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string command = argv[1];
  int id = 0;
  if (command == "associate") {
    id = IDC_BUTTON_ASSOCIATE;
  } else if (command == "shortcut") {
    id = IDC_BUTTON_SHORTCUT;
  } else if (command != "check") {
    return 2;
  }
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  platform.moduleFileName = argv[2];
  platform.moduleFileNameUnknown = platform.moduleFileName.empty();  // "": a path the system cannot give
  qtest::ScriptedView view(boxes);
  MainDialog dialog(view);
  int result = 0;
  if (id != 0) {
    dialog.OnCommand(id);
  } else {
    try {
      CheckMdlFileType();
    } catch (const AssociationError& e) {
      ShowAssociationStepFailure(e);
      result = 1;
    }
  }
  for (const qtest::ShownBox& box : boxes.Boxes()) {
    const char* kind = box.kind == qtest::BoxKind::Dialog      ? "dialog"
                       : box.kind == qtest::BoxKind::Ownerless ? "ownerless"
                                                               : "app";
    std::printf("%s\t%s\t%u\t%s\n", kind, box.caption.c_str(), box.type, Escape(box.text).c_str());
  }
  return result;
}
