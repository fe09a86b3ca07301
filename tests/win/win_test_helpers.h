// Helpers shared by the Windows tests of the commands: a main dialog view without a window, and the
// check of code page 936 texts against their characters.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/afx.h"
#include "app/main_dialog.h"

namespace wintest {

// Code page 936 bytes back to UTF-16, so that a text can be compared with the characters the user is
// meant to see (a wrongly encoded literal does not survive the round trip).
inline std::wstring FromCp936(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int n =
      MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return L"<not code page 936>";
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

// UTF-16 to code page 936 bytes.
inline std::string ToCp936(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// The main dialog's toolkit side without a window: the path box is a member, the end of the dialog
// is recorded, and message boxes go to whichever sink the test installed.
class ScriptedView final : public MainDialogView {
 public:
  int AppMessageBox(const std::string& text, unsigned type) override { return ::AfxMessageBox(text, type); }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return ::DialogMessageBox(text, caption, type);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return ::OwnerlessMessageBox(text, caption, type);
  }
  int DoModal(MainDialog&) override { return kIdCancel; }
  std::string GetPathText() override { return pathText; }
  void SetPathText(const std::string& text) override { pathText = text; }
  void ShowTransferButton(bool) override {}
  void EndDialog(int result) override { endResult = result; }
  bool AddAboutMenuItem(const std::string&) override { return true; }
  void SetIcons() override {}
  void ShowAboutBox() override {}
  std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest&) override { return std::nullopt; }

  std::string pathText;
  std::optional<int> endResult;  // set when the dialog was ended
};

}  // namespace wintest
