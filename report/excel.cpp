#include "report/excel.h"

#include <utility>

namespace {

AutomationServerFactory& ServerFactory() {
  static AutomationServerFactory factory;
  return factory;
}

bool g_bWorkbookNotShown = false;

}  // namespace

void NoteWorkbookNotShown() { g_bWorkbookNotShown = true; }

bool TakeWorkbookNotShown() { return std::exchange(g_bWorkbookNotShown, false); }

void SetAutomationServerFactory(AutomationServerFactory factory) { ServerFactory() = std::move(factory); }

bool DispatchDriver::CreateDispatch(const std::string& progId) {
  ReleaseDispatch();
  const AutomationServerFactory& factory = ServerFactory();
  m_lpDispatch = factory ? factory(progId) : CreateAutomationServer(progId);
  return static_cast<bool>(m_lpDispatch);
}

void DispatchDriver::AttachDispatch(std::unique_ptr<DispatchObject> dispatch) {
  ReleaseDispatch();
  m_lpDispatch = std::move(dispatch);
}

void DispatchDriver::ReleaseDispatch() { m_lpDispatch.reset(); }

DispatchObject& DispatchDriver::Dispatch() {
  // A "get" that returned no reference leaves its wrapper empty; the next call on it fails here
  // rather than being dropped without a word.
  if (!m_lpDispatch) throw AutomationError("自动化对象不存在：上一步没有返回对象引用。");
  return *m_lpDispatch;
}

std::unique_ptr<DispatchObject> ExcelApplication::GetWorkbooks() {
  return Dispatch().InvokeGetDispatch(kDispWorkbooks, false, {});
}

void ExcelApplication::SetVisible(bool visible) { Dispatch().InvokePut(kDispVisible, {AutomationArg(visible)}); }

std::unique_ptr<DispatchObject> ExcelWorkbooks::Add(const AutomationArg& templateArg) {
  return Dispatch().InvokeGetDispatch(kDispAdd, true, {templateArg});
}

std::unique_ptr<DispatchObject> ExcelWorkbook::GetWorksheets() {
  return Dispatch().InvokeGetDispatch(kDispWorksheets, false, {});
}

std::unique_ptr<DispatchObject> ExcelWorksheets::GetItem(const AutomationArg& index) {
  return Dispatch().InvokeGetDispatch(kDispItem, false, {index});
}

std::unique_ptr<DispatchObject> ExcelWorksheet::GetCells() {
  return Dispatch().InvokeGetDispatch(kDispCells, false, {});
}

void ExcelRange::SetItem(const AutomationArg& rowIndex, const AutomationArg& columnIndex, const AutomationArg& value) {
  Dispatch().InvokePut(kDispItem, {rowIndex, columnIndex, value});
}
