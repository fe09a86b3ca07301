// The Qt view of the main dialog (template 102) and of the About box (template 100).
//
// The controls carry the symbols of resource.h as object names ("IDOK", "IDC_EDIT_PATH", ...), the
// windows their template symbols ("IDD_MAIN_DIALOG", "IDD_ABOUTBOX").
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QRect>
#include <QString>

#include "app/main_dialog.h"

class QLineEdit;
class QMenu;
class QPushButton;

namespace qtview {

// The face that stands in for the templates' "宋体" 9 pt.
QFont DialogFont();

// Dialog units to pixels for a font, as the dialog manager converts them: a horizontal unit is a
// quarter of the average character width, a vertical unit an eighth of the character height.
QRect MapDialogRect(const QFont& font, int x, int y, int width, int height);

// The program icon (resource 128): the 32 x 32 and the 16 x 16 image.
QIcon ProgramIcon();

// The About box (template 100), modal.
void ShowAboutDialog(QWidget* parent);

// Loads Qt's own texts (the Open dialog, the standard buttons) in Chinese, the language of the
// interface, whatever the system's language. Returns false when they are not installed.
bool InstallQtTranslations();

// The icon of a message box type: the one its icon bits name, none when they name none.
QMessageBox::Icon MessageBoxIcon(unsigned type);

// The main dialog's window: Esc and the close button arrive as Cancel; a right click offers the
// About item.
class MainDialogWindow : public QDialog {
 public:
  MainDialogWindow();

  // Where Cancel and the About item go; nullptr while no dialog runs.
  MainDialog* dialog = nullptr;
  // The context menu, once the About item was added.
  QMenu* aboutMenu = nullptr;

 protected:
  void reject() override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace qtview

class QtMainDialogView final : public MainDialogView {
 public:
  // Needs a running QApplication.
  QtMainDialogView();
  ~QtMainDialogView() override;

  int AppMessageBox(const std::string& text, unsigned type) override;
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override;

  int DoModal(MainDialog& dialog) override;
  std::string GetPathText() override;
  void SetPathText(const std::string& text) override;
  void ShowTransferButton(bool show) override;
  void EndDialog(int result) override;
  bool AddAboutMenuItem(const std::string& text) override;
  void SetIcons() override;
  void ShowAboutBox() override;
  std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest& request) override;

  QDialog* Window() const { return m_window; }

 private:
  qtview::MainDialogWindow* m_window;
  QLineEdit* m_pathBox = nullptr;
  QPushButton* m_transferButton = nullptr;
  QIcon m_icon;
  bool m_ended = false;
  int m_result = kIdCancel;
};
