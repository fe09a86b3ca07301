// The few pieces of an application framework that the portable code relies on: message boxes
// routed to whichever toolkit shows them, the file and COM error types that end a command, and
// printf-style formatting into a std::string. The failures themselves are in base/errors.h.
//
// Texts are narrow strings in the system code page: UTF-8 on Linux, code page 936 on Windows
// (the Windows build compiles narrow literals with -fexec-charset=GBK).
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "base/errors.h"

// Message box buttons and answers, with the values of the Win32 API. (Named with a k prefix so that
// they never collide with the macros of <windows.h>.)
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  // The icon, one of four in these bits; none when they are 0.
  kMbIconMask = 0xF0,
  kMbIconHand = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconAsterisk = 0x40,
};
enum : int {
  kIdOk = 1,
  kIdCancel = 2,
};

// Where message boxes go. The toolkit view of the main dialog implements it; tests script it; the
// command-line tool prints the texts.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // AfxMessageBox: the caption is the application name, the executable's base file name.
  virtual int AppMessageBox(const std::string& text, unsigned type) = 0;
  // A message box owned by the main dialog, with the caption given.
  virtual int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
  // A message box without owner window, with the caption given.
  virtual int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
};

// Message boxes without a window: every text on its own line of a stream ("\r\n" written as a line
// break), every question answered OK. The default sink, used by the command-line tool and before a toolkit
// installs its own, prints to standard error.
class ConsoleMessageBoxes final : public MessageBoxes {
 public:
  explicit ConsoleMessageBoxes(std::FILE* stream) : m_stream(stream) {}
  int AppMessageBox(const std::string& text, unsigned type) override;
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override;

 private:
  int Print(const std::string& text);
  std::FILE* m_stream;
};

// Installs the message box sink (nullptr restores the default, which writes the texts to stderr and
// answers OK). The sink is not owned.
void AfxSetMessageBoxes(MessageBoxes* sink);
MessageBoxes& AfxGetMessageBoxes();

int AfxMessageBox(const std::string& text, unsigned type = kMbOk);
int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type = kMbOk);
int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type = kMbOk);

// printf-style formatting (CString::Format).
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Maps an errno value to a file exception cause.
int FileCauseFromErrno(int err);

// HRESULTs the store reports (the codes ADO and Jet give for the same failures).
constexpr HResult kHrFail = MakeHResult(0x80004005);               // E_FAIL (e.g. missing database file)
constexpr HResult kHrPointer = MakeHResult(0x80004003);            // E_POINTER: call through an empty pointer
constexpr HResult kHrOutOfMemory = MakeHResult(0x8007000E);        // E_OUTOFMEMORY
constexpr HResult kHrInvalidArg = MakeHResult(0x80070057);         // E_INVALIDARG
constexpr HResult kHrNotImpl = MakeHResult(0x80004001);            // E_NOTIMPL
constexpr HResult kHrAccessDenied = MakeHResult(0x80070005);       // E_ACCESSDENIED
constexpr HResult kHrUnexpected = MakeHResult(0x8000FFFF);         // E_UNEXPECTED
constexpr HResult kHrItemNotFound = MakeHResult(0x800A0CC1);       // adErrItemNotFound: no such column
constexpr HResult kHrObjectOpen = MakeHResult(0x800A0E79);         // adErrObjectOpen
constexpr HResult kHrObjectClosed = MakeHResult(0x800A0E78);       // adErrObjectClosed
constexpr HResult kHrNoCurrentRecord = MakeHResult(0x800A0BCD);    // adErrNoCurrentRecord
constexpr HResult kHrWrongPassword = MakeHResult(0x80040E4D);      // DB_SEC_E_AUTH_FAILED
