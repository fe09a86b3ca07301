// The Win32 view of the main dialog: the dialog manager runs template 102 modally; every click goes
// to the portable MainDialog, which calls back for the controls, the menus and the message boxes.
#include "app/main_dialog_view_win.h"

#include <commdlg.h>

#include <memory>
#include <vector>

#include "base/platform.h"
#include "base/win_support.h"
#include "res/resource.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

bool IsCommandOfTheDialog(int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
#define QELMORA_COMMAND_CASE(control, caption, x, y, width, height, handler) case control:
      QELMORA_DIALOG_BUTTONS(QELMORA_COMMAND_CASE)
#undef QELMORA_COMMAND_CASE
      return true;
    default: return false;
  }
}

}  // namespace

void CenterIfNotMoved(HWND hwnd, const RECT& before) {
  RECT now;
  GetWindowRect(hwnd, &now);
  if (now.left != before.left || now.top != before.top) return;
  // Over the owner when it is visible, otherwise in the work area of the screen.
  RECT area;
  const HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = now.right - now.left;
  const int height = now.bottom - now.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string ApplicationName() { return SplitPath(ThePlatform().ModuleFileName()).fname; }

std::string OpenFileFilter(const OpenFileRequest& request) {
  std::string filter;
  for (const auto& [label, pattern] : request.filters) {
    filter += label;
    filter += '\0';
    filter += pattern;
    filter += '\0';
  }
  filter += '\0';
  return filter;
}

std::unique_ptr<MainDialogView> CreateMainDialogView() { return std::make_unique<Win32MainDialogView>(); }

Win32MainDialogView::Win32MainDialogView() {
  // The constructor's LoadIcon of resource 128: the system's large icon size.
  m_hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

Win32MainDialogView::~Win32MainDialogView() = default;

int Win32MainDialogView::DoModal(MainDialog& dialog) {
  m_dialog = &dialog;
  const INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  m_dialog = nullptr;
  return static_cast<int>(result);
}

INT_PTR CALLBACK Win32MainDialogView::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* view = reinterpret_cast<Win32MainDialogView*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    view = reinterpret_cast<Win32MainDialogView*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(view));
    view->m_hDlg = hwnd;
    SetMainWindowHandle(hwnd);
  }
  if (view == nullptr) return FALSE;
  const INT_PTR result = view->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetMainWindowHandle(nullptr);
    view->m_hDlg = nullptr;
  }
  return result;
}

INT_PTR Win32MainDialogView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG: {
      RECT before;
      GetWindowRect(m_hDlg, &before);
      // The data exchange of OnInitDialog puts m_strPath into the path box.
      const bool done = m_dialog->OnInitDialog();
      CenterIfNotMoved(m_hDlg, before);
      return done ? TRUE : FALSE;
    }

    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      // Buttons (BN_CLICKED = 0), Enter and Esc (sent as IDOK and IDCANCEL), the close box (IDCANCEL).
      if (code == BN_CLICKED && IsCommandOfTheDialog(id) && m_dialog != nullptr) {
        m_dialog->OnCommand(id);
        return TRUE;
      }
      return FALSE;
    }

    case WM_SYSCOMMAND:
      if (m_dialog != nullptr && m_dialog->OnSysCommand(static_cast<unsigned>(wParam))) return TRUE;
      return FALSE;  // default processing of the system command

    case WM_PAINT: return OnPaint() ? TRUE : FALSE;

    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_hIcon);

    default: return FALSE;
  }
}

bool Win32MainDialogView::OnPaint() {
  if (!IsIconic(m_hDlg)) return false;  // default painting
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(m_hDlg, &paint);
  SendMessageA(m_hDlg, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(m_hDlg, &rect);
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hDlg, &paint);
  return true;
}

std::string Win32MainDialogView::GetPathText() {
  const HWND edit = GetDlgItem(m_hDlg, IDC_EDIT_PATH);
  if (edit == nullptr) return std::string();
  const int length = GetWindowTextLengthA(edit);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(edit, buffer.data(), length + 1);
  return std::string(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

void Win32MainDialogView::SetPathText(const std::string& text) {
  SetDlgItemTextA(m_hDlg, IDC_EDIT_PATH, text.c_str());
}

void Win32MainDialogView::ShowTransferButton(bool show) {
  ShowWindow(GetDlgItem(m_hDlg, IDC_BUTTON_TRANSFER), show ? SW_SHOW : SW_HIDE);
}

void Win32MainDialogView::EndDialog(int result) { ::EndDialog(m_hDlg, result); }

bool Win32MainDialogView::AddAboutMenuItem(const std::string& text) {
  const HMENU menu = GetSystemMenu(m_hDlg, FALSE);
  if (menu == nullptr) return false;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
  return true;
}

void Win32MainDialogView::SetIcons() {
  SendMessageA(m_hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void Win32MainDialogView::ShowAboutBox() { RunAboutBox(m_hDlg); }

std::optional<OpenFileResult> Win32MainDialogView::ShowOpenFileDialog(const OpenFileRequest& request) {
  const std::string filter = OpenFileFilter(request);
  char path[kMaxPath] = {};
  char title[kMaxPath] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_hDlg;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = sizeof title;
  ofn.lpstrTitle = request.title.c_str();
  ofn.lpstrDefExt = request.defaultExtension.c_str();
  ofn.Flags = OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&ofn)) return std::nullopt;
  OpenFileResult result;
  result.pathName = path;
  result.fileName = title[0] != '\0' ? std::string(title) : std::string(path + ofn.nFileOffset);
  return result;
}

int Win32MainDialogView::AppMessageBox(const std::string& text, unsigned type) {
  // AfxMessageBox: owned by the main window while there is one; an exclamation icon unless the
  // type names one.
  if ((type & MB_ICONMASK) == 0) type |= MB_ICONEXCLAMATION;
  return MessageBoxA(m_hDlg, text.c_str(), ApplicationName().c_str(), type);
}

int Win32MainDialogView::DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return MessageBoxA(m_hDlg, text.c_str(), caption.c_str(), type);
}

int Win32MainDialogView::OwnerlessMessageBox(const std::string& text, const std::string& caption,
                                             unsigned type) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}
