// The Win32 view of the main dialog (template 102) and the About box (template 100). The templates
// come from the resources of the running program.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/main_dialog.h"

class Win32MainDialogView final : public MainDialogView {
 public:
  Win32MainDialogView();
  ~Win32MainDialogView() override;
  Win32MainDialogView(const Win32MainDialogView&) = delete;
  Win32MainDialogView& operator=(const Win32MainDialogView&) = delete;

  int DoModal(MainDialog& dialog) override;
  std::string GetPathText() override;
  void SetPathText(const std::string& text) override;
  void ShowTransferButton(bool show) override;
  void EndDialog(int result) override;
  bool AddAboutMenuItem(const std::string& text) override;
  void SetIcons() override;
  void ShowAboutBox() override;
  std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest& request) override;

  int AppMessageBox(const std::string& text, unsigned type) override;
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override;

  // The dialog's window while it runs.
  HWND Window() const { return m_hDlg; }
  HICON Icon() const { return m_hIcon; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnPaint();

  MainDialog* m_dialog = nullptr;
  HWND m_hDlg = nullptr;
  HICON m_hIcon = nullptr;
};

// The About box, modal, owned by the window given.
INT_PTR RunAboutBox(HWND owner);

// Centres a dialog over its owner (or the screen) unless its initialisation moved it, as the
// framework does after WM_INITDIALOG.
void CenterIfNotMoved(HWND hwnd, const RECT& before);

// The application name: the executable's base file name without its extension.
std::string ApplicationName();

// The filter string of the Open dialog: label and pattern of each entry, each followed by a zero
// byte, and one more zero byte at the end.
std::string OpenFileFilter(const OpenFileRequest& request);
