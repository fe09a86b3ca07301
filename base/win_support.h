// Small Windows helpers shared by the Win32 backends (the *_win.cpp files only; never included by
// portable code).
#pragma once

#include <windows.h>

#include <string>

// The file exception cause of a Win32 error code, as the framework's CFileException maps it.
int FileCauseFromWin32Error(DWORD error);

// The system code page text as a wide string (MultiByteToWideChar, CP_ACP) and back
// (WideCharToMultiByte, CP_ACP).
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text, int length = -1);

// The main dialog's window while it runs (null otherwise): the owner of programs started by
// ShellExecuteA and of the dialog's message boxes.
void SetMainWindowHandle(HWND hwnd);
HWND MainWindowHandle();
