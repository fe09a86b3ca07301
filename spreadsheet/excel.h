// The spreadsheet operations of the report: six wrappers, one per automation object of the
// spreadsheet server, each holding one dispatch reference, and the report written through them. The
// server is Excel through IDispatch (excel_win.cpp), the Windows build's way of showing the report;
// the Linux build writes the workbook itself (show_report_linux.cpp) and has no automation server.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "base/errors.h"
#include "report/report_sheets.h"

// An automation argument: a boolean (VT_BOOL) or a text (VT_BSTR).
using AutomationArg = std::variant<bool, std::string>;

// A failed automation call: the server's error description.
class AutomationError : public ProgramError {
 public:
  explicit AutomationError(std::string description) : ProgramError(std::move(description)) {}
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

// Creates the automation server registered under the programmatic id; nullptr when it cannot be
// created. Raises nothing.
using AutomationServerFactory = std::function<std::unique_ptr<DispatchObject>(const std::string& progId)>;

// Windows: the server through COM (CLSIDFromProgID, CoCreateInstance, OleRun, IDispatch).
std::unique_ptr<DispatchObject> CreateAutomationServer(const std::string& progId);

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

  // The server of the programmatic id, made by create.
  bool CreateDispatch(const std::string& progId, const AutomationServerFactory& create);
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

// The report through automation: creates "Excel.Application" by create (NoSpreadsheetProgram when
// it cannot be),
// makes it visible, adds a workbook, and writes each sheet that the new workbook has (its item name,
// "sheet1") cell by cell as texts through its Cells range, in the order of the sheet's cells; then
// addFormatted is given every sheet of the report: it adds the others to the workbook and sets up
// the pages; then the six references are released, the range first. A failing step raises AutomationError, the references held so far released.
using FormattedSheetAdder = std::function<void(ExcelWorkbook& workbook, const std::vector<const FormattedSheet*>& sheets)>;
void ShowReportByAutomation(const ReportWorkbook& report, const AutomationServerFactory& create,
                            const FormattedSheetAdder& addFormatted);
