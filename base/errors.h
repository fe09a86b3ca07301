// The program's failures: one family. Every failure the program raises is a ProgramError whose
// what() is the text the user is told, and which carries what the system said about it (an error
// number, an HRESULT, or one of the program's own step codes such as "bind001"). Code below the
// commands raises; only a command (a dialog handler, a command of qelmora-cli) shows the text.
//
// Texts are narrow strings in the system code page: UTF-8 on Linux, code page 936 on Windows.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t value) { return static_cast<HResult>(value); }

// What the system gave as the reason of a failure, when it gave one.
struct FailureCause {
  enum class Kind { none, errorNumber, hresult, stepCode };
  Kind kind = Kind::none;
  long number = 0;   // the errno value or the HRESULT
  std::string code;  // the step code

  static FailureCause ErrorNumber(int error) { return {Kind::errorNumber, error, {}}; }
  static FailureCause HResultOf(HResult hr) { return {Kind::hresult, hr, {}}; }
  static FailureCause Step(std::string code) { return {Kind::stepCode, 0, std::move(code)}; }
};

class ProgramError : public std::exception {
 public:
  const char* what() const noexcept override { return m_text.c_str(); }
  const FailureCause& Cause() const noexcept { return m_cause; }

 protected:
  explicit ProgramError(std::string text, FailureCause cause = {})
      : m_text(std::move(text)), m_cause(std::move(cause)) {}
  void SetText(std::string text) { m_text = std::move(text); }

 private:
  std::string m_text;
  FailureCause m_cause;
};

// A file failure: the framework's file exception with its cause number. what() is the framework's
// report of the command it ended; NoticeText() the model file reader's own message, shown before it.
class FileException : public ProgramError {
 public:
  enum Cause : int {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
  };

  FileException(int cause, std::string fileName, long osError = -1);

  // The text with which the framework reports a command ended by this failure (what()).
  std::string ReportText() const { return what(); }
  // "error:%u\n" with the cause number.
  std::string NoticeText() const;

  int m_cause;
  std::string m_strFileName;
  long m_lOsError;
};

// A failed file-system operation of the program's own (not the framework's): which step failed, on
// which path, and the system's error number. Callers turn it into their own messages.
class FileSystemError : public ProgramError {
 public:
  enum class Step { create, write, rename };

  FileSystemError(Step step, std::string path, int error);

  Step step() const { return m_step; }
  // The target for a failed rename, the directory for a failed create, the scratch file otherwise.
  const std::string& path() const { return m_path; }
  int error() const { return m_error; }

 private:
  Step m_step;
  std::string m_path;
  int m_error;
};

// A step of the program that failed for a reason the user is told as it stands (a store that cannot
// be created, a hand-off file that cannot be written, a model file that is not saved): what() is
// that reason.
class OperationError : public ProgramError {
 public:
  explicit OperationError(std::string reason, FailureCause cause = {})
      : ProgramError(std::move(reason), std::move(cause)) {}
};

// A failed COM call (the compiler-support _com_error): carries the HRESULT alone. A backend may
// attach a description for logs; it is never shown (the store forms its text from the HRESULT).
class ComError : public ProgramError {
 public:
  explicit ComError(HResult hr, std::string description = {});
  HResult Error() const noexcept { return m_hr; }
  const std::string& Description() const noexcept { return m_description; }

 private:
  HResult m_hr;
  std::string m_description;
};
