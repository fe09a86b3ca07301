#include "spreadsheet/excel.h"

#include <utility>

#include "base/afx.h"
#include "spreadsheet/show_report.h"

bool DispatchDriver::CreateDispatch(const std::string& progId, const AutomationServerFactory& create) {
  ReleaseDispatch();
  m_lpDispatch = create(progId);
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

void ShowReportByAutomation(const ReportWorkbook& report, const AutomationServerFactory& create,
                            const FormattedSheetAdder& addFormatted) {
  // Declared in the order they are obtained: a failing step releases those held so far in the
  // reverse order, the same order as at the end.
  ExcelApplication app;
  if (!app.CreateDispatch("Excel.Application", create)) throw NoSpreadsheetProgram();
  ExcelWorkbooks workbooks;
  ExcelWorkbook workbook;
  ExcelWorksheets worksheets;
  ExcelWorksheet worksheet;
  ExcelRange range;

  app.SetVisible(true);
  workbooks.AttachDispatch(app.GetWorkbooks());
  workbook.AttachDispatch(workbooks.Add(std::string()));
  worksheets.AttachDispatch(workbook.GetWorksheets());
  std::vector<const FormattedSheet*> sheets;
  for (const FormattedSheet& sheet : report.sheets) {
    sheets.push_back(&sheet);
    if (sheet.item.empty()) continue;
    worksheet.AttachDispatch(worksheets.GetItem(sheet.item));
    range.AttachDispatch(worksheet.GetCells());
    for (const SheetCell& cell : sheet.cells) {
      const std::string* text = std::get_if<std::string>(&cell.value);
      range.SetItem(std::to_string(cell.row + 1), ReportColumnLetters(cell.column),
                    text != nullptr ? *text : Format("%.17g", std::get<double>(cell.value)));
    }
  }
  if (addFormatted) addFormatted(workbook, sheets);

  range.ReleaseDispatch();
  worksheet.ReleaseDispatch();
  worksheets.ReleaseDispatch();
  workbook.ReleaseDispatch();
  workbooks.ReleaseDispatch();
  app.ReleaseDispatch();
}
