// The spreadsheet operations of the report: six wrappers, one per automation object of the
// spreadsheet server, each holding one dispatch reference. The server is a backend: on Windows,
// Excel through IDispatch (excel_win.cpp); on Linux, an in-memory workbook written as .xlsx and
// opened in the desktop's spreadsheet application (excel_linux.cpp).
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "report/report_sheets.h"

// An automation argument: a boolean (VT_BOOL) or a text (VT_BSTR).
using AutomationArg = std::variant<bool, std::string>;

// A failed automation call: the server's error description.
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One dispatch reference of the server (backend).
class DispatchObject {
 public:
  virtual ~DispatchObject() = default;
  // A property get or method call by dispatch id whose result is a dispatch reference (may be null).
  virtual std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool isMethod,
                                                            const std::vector<AutomationArg>& args) = 0;
  // A property put by dispatch id (the last argument is the value).
  virtual void InvokePut(int dispid, const std::vector<AutomationArg>& args) = 0;
};

// Backend: creates the automation server registered under the programmatic id; nullptr when it
// cannot be created. Raises nothing.
std::unique_ptr<DispatchObject> CreateAutomationServer(const std::string& progId);

// A workbook that the server could not show when it went away (the file could not be written or
// opened; the message saying why has been shown). The backend notes it; the command that released the
// server takes the note, which clears it.
void NoteWorkbookNotShown();
bool TakeWorkbookNotShown();

// Replaces the backend behind DispatchDriver::CreateDispatch (tests put a recording server there);
// an empty function restores CreateAutomationServer.
using AutomationServerFactory = std::function<std::unique_ptr<DispatchObject>(const std::string& progId)>;
void SetAutomationServerFactory(AutomationServerFactory factory);

// Dispatch ids of the members the report uses.
enum : int {
  kDispWorkbooks = 572,
  kDispVisible = 558,
  kDispAdd = 181,
  kDispWorksheets = 494,
  kDispItem = 170,
  kDispCells = 238,
};

// COleDispatchDriver: holds one dispatch reference and releases it on ReleaseDispatch or when it
// is destroyed.
class DispatchDriver {
 public:
  DispatchDriver() = default;
  virtual ~DispatchDriver() = default;
  DispatchDriver(const DispatchDriver&) = delete;
  DispatchDriver& operator=(const DispatchDriver&) = delete;

  bool CreateDispatch(const std::string& progId);
  void AttachDispatch(std::unique_ptr<DispatchObject> dispatch);
  void ReleaseDispatch();
  bool IsAttached() const { return static_cast<bool>(m_lpDispatch); }
  // The reference held (nullptr when none), for the backend's own operations.
  DispatchObject* Object() const { return m_lpDispatch.get(); }

 protected:
  // Raises AutomationError when no reference is held.
  DispatchObject& Dispatch();
  std::unique_ptr<DispatchObject> m_lpDispatch;
};

class ExcelApplication : public DispatchDriver {
 public:
  std::unique_ptr<DispatchObject> GetWorkbooks();
  void SetVisible(bool visible);
};

class ExcelWorkbooks : public DispatchDriver {
 public:
  std::unique_ptr<DispatchObject> Add(const AutomationArg& templateArg);
};

class ExcelWorkbook : public DispatchDriver {
 public:
  std::unique_ptr<DispatchObject> GetWorksheets();
};

class ExcelWorksheets : public DispatchDriver {
 public:
  std::unique_ptr<DispatchObject> GetItem(const AutomationArg& index);
};

class ExcelWorksheet : public DispatchDriver {
 public:
  std::unique_ptr<DispatchObject> GetCells();
};

class ExcelRange : public DispatchDriver {
 public:
  void SetItem(const AutomationArg& rowIndex, const AutomationArg& columnIndex, const AutomationArg& value);
};

// Backend: adds the formatted sheets (summary and spectrum, with their charts) after the last sheet
// of the workbook, and names the file the report is kept in (ReportFileName), where the server keeps
// one. Linux: into the workbook of its own server; a workbook of another server is left as it is.
// A chart that cannot be added leaves the sheets written. Raises AutomationError when a sheet
// cannot be added.
void AddReportSheets(ExcelWorkbook& workbook, const std::vector<FormattedSheet>& sheets, const std::string& fileName);
