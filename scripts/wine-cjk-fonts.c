/* Prepares a fresh Wine prefix for the Chinese interface: the non-client fonts (captions, menus,
 * message boxes) get a face that has the Chinese characters, and the dialog font of the program's
 * templates ("宋体", SimSun, which Wine does not have) is substituted by the same face.
 * Built and run once per prefix by wine-run.sh. */
#include <windows.h>

static const wchar_t kFace[] = L"WenQuanYi Micro Hei";

static void SetFace(LOGFONTW *font) {
  lstrcpynW(font->lfFaceName, kFace, LF_FACESIZE);
  font->lfCharSet = DEFAULT_CHARSET;
}

static int SetSubstitute(HKEY key, const wchar_t *name) {
  return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)kFace, (DWORD)sizeof kFace) == ERROR_SUCCESS;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  int ok = 1;

  NONCLIENTMETRICSW metrics;
  ZeroMemory(&metrics, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return 1;
  SetFace(&metrics.lfCaptionFont);
  SetFace(&metrics.lfSmCaptionFont);
  SetFace(&metrics.lfMenuFont);
  SetFace(&metrics.lfStatusFont);
  SetFace(&metrics.lfMessageFont);
  if (!SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics,
                             SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) {
    ok = 0;
  }

  LOGFONTW iconFont;
  if (SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof iconFont, &iconFont, 0)) {
    SetFace(&iconFont);
    SystemParametersInfoW(SPI_SETICONTITLELOGFONT, sizeof iconFont, &iconFont, SPIF_UPDATEINIFILE);
  }

  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", 0,
                      NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) == ERROR_SUCCESS) {
    ok &= SetSubstitute(key, L"\x5B8B\x4F53"); /* 宋体 */
    ok &= SetSubstitute(key, L"SimSun");
    ok &= SetSubstitute(key, L"MS Shell Dlg");
    RegCloseKey(key);
  } else {
    ok = 0;
  }
  /* Without a window manager (Xvfb in the tests) Wine draws the window frames and captions itself,
   * with the fonts above. */
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) ==
      ERROR_SUCCESS) {
    static const wchar_t kNo[] = L"N";
    ok &= RegSetValueExW(key, L"Managed", 0, REG_SZ, (const BYTE *)kNo, (DWORD)sizeof kNo) == ERROR_SUCCESS;
    RegCloseKey(key);
  } else {
    ok = 0;
  }
  return ok ? 0 : 1;
}
