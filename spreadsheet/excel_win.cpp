// The spreadsheet server on Windows: Excel by OLE Automation, late bound through IDispatch::Invoke
// with the dispatch ids of the report. Every text argument goes out as a BSTR converted from the
// system code page; a failure of the server comes back as AutomationError with its description.
#include "spreadsheet/excel.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <variant>

#include "base/afx.h"
#include "base/win_support.h"
#include "base/number_text.h"
#include "spreadsheet/show_report.h"

namespace {

// A text as a workbook can hold it: the controls other than tab, line feed and carriage return and
// the noncharacters U+FFFE and U+FFFF, which XML cannot carry (Excel would save a file that no reader
// opens), become U+FFFD, visibly. The store keeps its bytes.
std::wstring WorkbookText(std::wstring text) {
  for (wchar_t& c : text) {
    if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;
  }
  return text;
}

std::string CallFailedText(HRESULT hr) {
  return Format("调用失败 0x%08X", static_cast<unsigned>(hr));
}

// The argument variants of one call, in the reverse order IDispatch::Invoke expects; each is
// cleared (its string freed) as soon as the call returns.
class ArgumentVariants {
 public:
  explicit ArgumentVariants(const std::vector<AutomationArg>& args) : m_variants(args.size()) {
    for (VARIANT& v : m_variants) VariantInit(&v);
    const std::size_t count = args.size();
    for (std::size_t i = 0; i < count; ++i) {
      VARIANT& v = m_variants[count - 1 - i];
      if (const bool* flag = std::get_if<bool>(&args[i])) {
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = *flag ? VARIANT_TRUE : VARIANT_FALSE;
      } else {
        const std::wstring wide = WorkbookText(AnsiToWide(std::get<std::string>(args[i])));
        BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (text == nullptr) {
          Clear();  // the strings made so far
          throw std::bad_alloc();
        }
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = text;
      }
    }
  }
  ~ArgumentVariants() { Clear(); }
  ArgumentVariants(const ArgumentVariants&) = delete;
  ArgumentVariants& operator=(const ArgumentVariants&) = delete;

  void Clear() {
    for (VARIANT& v : m_variants) VariantClear(&v);
  }
  VARIANT* Data() { return m_variants.empty() ? nullptr : m_variants.data(); }
  UINT Count() const { return static_cast<UINT>(m_variants.size()); }

 private:
  std::vector<VARIANT> m_variants;
};

// The text reported for a failed Invoke: the server's description when it gave one.
std::string InvokeFailureText(HRESULT hr, EXCEPINFO& info) {
  std::string text;
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    if (info.bstrDescription != nullptr) {
      text = WideToAnsi(info.bstrDescription, static_cast<int>(SysStringLen(info.bstrDescription)));
    }
    if (text.empty()) {
      HRESULT code = info.scode;
      if (code == S_OK && info.wCode != 0) code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode);
      text = CallFailedText(code != S_OK ? code : hr);
    }
  } else {
    text = CallFailedText(hr);
  }
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info.bstrSource = info.bstrDescription = info.bstrHelpFile = nullptr;
  return text;
}

class ComDispatchObject final : public DispatchObject {
 public:
  // Takes over one reference.
  explicit ComDispatchObject(IDispatch* dispatch) : m_pDispatch(dispatch) {}
  ~ComDispatchObject() override { m_pDispatch->Release(); }
  ComDispatchObject(const ComDispatchObject&) = delete;
  ComDispatchObject& operator=(const ComDispatchObject&) = delete;

  IDispatch* Interface() const { return m_pDispatch; }

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool isMethod,
                                                    const std::vector<AutomationArg>& args) override {
    VARIANT result;
    VariantInit(&result);
    Invoke(dispid, isMethod ? DISPATCH_METHOD : DISPATCH_PROPERTYGET, args, false, &result);
    return TakeDispatch(result);
  }

  void InvokePut(int dispid, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispItem || args.empty()) {
      Invoke(dispid, DISPATCH_PROPERTYPUT, args, true, nullptr);
      return;
    }
    // Excel takes a cell's text as typed input, so a stored text beginning with "=", "+", "-" or "@"
    // that is no number would become a live formula or link: the leading apostrophe keeps it text.
    std::vector<AutomationArg> cell = args;
    const std::string* text = std::get_if<std::string>(&cell.back());
    if (text != nullptr && !text->empty() && std::strchr("=+-@", text->front()) != nullptr && !CellNumber(*text)) {
      cell.back() = "'" + *text;
    }
    Invoke(dispid, DISPATCH_PROPERTYPUT, cell, true, nullptr);
  }

 private:
  void Invoke(int dispid, WORD flags, const std::vector<AutomationArg>& args, bool put, VARIANT* result) {
    ArgumentVariants variants(args);
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = variants.Data();
    params.cArgs = variants.Count();
    if (put) {
      params.rgdispidNamedArgs = &namedPut;
      params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT argError = 0;
    const HRESULT hr = m_pDispatch->Invoke(static_cast<DISPID>(dispid), IID_NULL, LOCALE_USER_DEFAULT, flags,
                                           &params, result, &info, &argError);
    variants.Clear();
    if (FAILED(hr)) {
      if (result != nullptr) VariantClear(result);
      throw AutomationError(InvokeFailureText(hr, info));
    }
  }

  // The dispatch reference of a result; null for an empty one. The variant is cleared.
  static std::unique_ptr<DispatchObject> TakeDispatch(VARIANT& result) {
    IDispatch* dispatch = nullptr;
    HRESULT hr = S_OK;
    switch (V_VT(&result)) {
      case VT_EMPTY:
      case VT_NULL:
        break;
      case VT_DISPATCH:
        dispatch = V_DISPATCH(&result);
        V_DISPATCH(&result) = nullptr;  // the reference is ours now
        V_VT(&result) = VT_EMPTY;
        break;
      case VT_UNKNOWN:
        if (V_UNKNOWN(&result) != nullptr)
          hr = V_UNKNOWN(&result)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        break;
      default:
        hr = VariantChangeType(&result, &result, 0, VT_DISPATCH);
        if (SUCCEEDED(hr)) {
          dispatch = V_DISPATCH(&result);
          V_DISPATCH(&result) = nullptr;
          V_VT(&result) = VT_EMPTY;
        }
        break;
    }
    VariantClear(&result);
    if (FAILED(hr)) throw AutomationError(CallFailedText(hr));
    if (dispatch == nullptr) return nullptr;
    try {
      return std::make_unique<ComDispatchObject>(dispatch);
    } catch (...) {
      dispatch->Release();
      throw;
    }
  }

  IDispatch* m_pDispatch;
};

// ---------------------------------------------------------------------------------------------
// The formatted sheets: members called by name (IDispatch::GetIDsOfNames), with typed arguments.

// Excel's constants used here.
enum : long {
  xlCategory = 1, xlValue = 2, xlPrimary = 1, xlSecondary = 2, xlPortrait = 1, xlLandscape = 2,
  xlXYScatterLines = 74, xlScaleLogarithmic = -4133, xlNone = -4142, xlMarkerStyleCircle = 8,
  xlLabelPositionRight = -4152, xlPaperA4 = 9, xlLegendPositionBottom = -4107,
};

// A dispatch reference of our own, released when it goes.
class Ref {
 public:
  explicit Ref(IDispatch* p = nullptr) : m_p(p) {}
  ~Ref() {
    if (m_p != nullptr) m_p->Release();
  }
  Ref(Ref&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  IDispatch* get() const { return m_p; }

 private:
  IDispatch* m_p;
};

// One argument variant, cleared when it goes.
class Arg {
 public:
  Arg(long n) { V_VT(&m_v) = VT_I4; V_I4(&m_v) = n; }      // NOLINT(google-explicit-constructor)
  Arg(int n) : Arg(static_cast<long>(n)) {}                // NOLINT(google-explicit-constructor)
  Arg(double x) { V_VT(&m_v) = VT_R8; V_R8(&m_v) = x; }    // NOLINT(google-explicit-constructor)
  Arg(bool b) { V_VT(&m_v) = VT_BOOL; V_BOOL(&m_v) = b ? VARIANT_TRUE : VARIANT_FALSE; }  // NOLINT
  Arg(const std::string& text) {                           // NOLINT(google-explicit-constructor)
    const std::wstring wide = WorkbookText(AnsiToWide(text));
    V_VT(&m_v) = VT_BSTR;
    V_BSTR(&m_v) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (V_BSTR(&m_v) == nullptr) throw std::bad_alloc();
  }
  Arg(const char* text) : Arg(std::string(text)) {}        // NOLINT(google-explicit-constructor)
  Arg(const Ref& object) {                                 // NOLINT(google-explicit-constructor)
    V_VT(&m_v) = VT_DISPATCH;
    V_DISPATCH(&m_v) = object.get();
    if (object.get() != nullptr) object.get()->AddRef();
  }
  static Arg Missing() {
    Arg a(0L);
    V_VT(&a.m_v) = VT_ERROR;
    V_ERROR(&a.m_v) = DISP_E_PARAMNOTFOUND;
    return a;
  }
  Arg(Arg&& other) noexcept : m_v(other.m_v) { V_VT(&other.m_v) = VT_EMPTY; }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  ~Arg() { VariantClear(&m_v); }
  VARIANT& get() { return m_v; }

 private:
  VARIANT m_v{};
};

// Calls the member of that name; the result variant is the caller's to clear.
VARIANT CallMember(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Arg>& args) {
  DISPID dispid = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) throw AutomationError(CallFailedText(hr));
  std::vector<VARIANT> reversed;
  for (std::size_t i = args.size(); i-- > 0;) reversed.push_back(args[i].get());  // shallow: args own them
  DISPID namedPut = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &namedPut;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  UINT argError = 0;
  hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                      flags == DISPATCH_PROPERTYPUT ? nullptr : &result, &info, &argError);
  if (FAILED(hr)) {
    VariantClear(&result);
    throw AutomationError(InvokeFailureText(hr, info));
  }
  return result;
}

void Put(const Ref& object, const wchar_t* name, Arg value) {
  std::vector<Arg> args;
  args.push_back(std::move(value));
  VARIANT result = CallMember(object.get(), name, DISPATCH_PROPERTYPUT, args);
  VariantClear(&result);
}

// A property get or method call whose result is an object; an empty result is a failure here.
Ref GetObject(const Ref& object, const wchar_t* name, std::vector<Arg> args = {}, WORD flags = DISPATCH_PROPERTYGET) {
  VARIANT result = CallMember(object.get(), name, flags | DISPATCH_METHOD, args);
  IDispatch* dispatch = nullptr;
  if (V_VT(&result) == VT_DISPATCH && V_DISPATCH(&result) != nullptr) {
    dispatch = V_DISPATCH(&result);
    dispatch->AddRef();
  }
  VariantClear(&result);
  if (dispatch == nullptr) throw AutomationError(CallFailedText(E_POINTER));
  return Ref(dispatch);
}

std::vector<Arg> Args(Arg a) {
  std::vector<Arg> args;
  args.push_back(std::move(a));
  return args;
}
std::vector<Arg> Args(Arg a, Arg b) {
  std::vector<Arg> args = Args(std::move(a));
  args.push_back(std::move(b));
  return args;
}

long GetLong(const Ref& object, const wchar_t* name) {
  std::vector<Arg> none;
  VARIANT result = CallMember(object.get(), name, DISPATCH_PROPERTYGET, none);
  const HRESULT hr = VariantChangeType(&result, &result, 0, VT_I4);
  const long value = SUCCEEDED(hr) ? V_I4(&result) : 0;
  VariantClear(&result);
  if (FAILED(hr)) throw AutomationError(CallFailedText(hr));
  return value;
}

// "A1" style address of a cell (row and column from 0).
std::string Address(std::size_t row, std::size_t column) {
  return ReportColumnLetters(column) + std::to_string(row + 1);
}

// The styles of the cells that have one: bold labels, the title's size, the number formats.
void FormatCells(const Ref& worksheet, const FormattedSheet& sheet) {
  for (const SheetCell& cell : sheet.cells) {
    if (cell.style == CellStyle::kText || cell.style == CellStyle::kTypedText) continue;
    const Ref range = GetObject(worksheet, L"Range", Args(Address(cell.row, cell.column)));
    if (cell.style == CellStyle::kTitle || cell.style == CellStyle::kHeader) {
      const Ref font = GetObject(range, L"Font");
      Put(font, L"Bold", true);
      if (cell.style == CellStyle::kTitle) Put(font, L"Size", 14L);
    }
    if (!cell.numberFormat.empty()) Put(range, L"NumberFormat", cell.numberFormat);
  }
}

// An RGB colour 0xRRGGBB as Excel takes it (0xBBGGRR).
long ExcelColor(std::uint32_t rgb) {
  return static_cast<long>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

// A chart of the worksheet over the columns of dataSheet (the sheet that holds the series' values).
void AddChart(const Ref& worksheet, const Ref& dataSheet, const SheetChart& spec) {
  const Ref anchor = GetObject(worksheet, L"Range", Args(Address(spec.anchorRow, spec.anchorColumn)));
  std::vector<Arg> none;
  VARIANT left = CallMember(anchor.get(), L"Left", DISPATCH_PROPERTYGET, none);
  VARIANT top = CallMember(anchor.get(), L"Top", DISPATCH_PROPERTYGET, none);
  VariantChangeType(&left, &left, 0, VT_R8);
  VariantChangeType(&top, &top, 0, VT_R8);
  std::vector<Arg> place;
  place.emplace_back(V_VT(&left) == VT_R8 ? V_R8(&left) : 0.0);
  place.emplace_back(V_VT(&top) == VT_R8 ? V_R8(&top) : 0.0);
  place.emplace_back(spec.width * 0.75);  // pixels to points
  place.emplace_back(spec.height * 0.75);
  VariantClear(&left);
  VariantClear(&top);

  const Ref chartObjects = GetObject(worksheet, L"ChartObjects", {}, DISPATCH_METHOD);
  const Ref chartObject = GetObject(chartObjects, L"Add", std::move(place), DISPATCH_METHOD);
  const Ref chart = GetObject(chartObject, L"Chart");
  Put(chart, L"ChartType", static_cast<long>(xlXYScatterLines));
  bool secondary = false;
  for (const ChartSeries& s : spec.series) {
    const Ref collection = GetObject(chart, L"SeriesCollection", {}, DISPATCH_METHOD);
    const Ref series = GetObject(collection, L"NewSeries", {}, DISPATCH_METHOD);
    Put(series, L"Name", s.name);
    const auto column = [&](std::size_t c) {
      return GetObject(dataSheet, L"Range", Args(Address(s.firstRow, c) + ":" + Address(s.lastRow, c)));
    };
    Put(series, L"XValues", Arg(column(s.xColumn)));
    Put(series, L"Values", Arg(column(s.yColumn)));
    if (s.style == SeriesStyle::kMarkers) {
      Put(GetObject(series, L"Border"), L"LineStyle", static_cast<long>(xlNone));
    } else if (s.color) {
      Put(GetObject(series, L"Border"), L"Color", ExcelColor(*s.color));
    }
    Put(series, L"MarkerStyle", static_cast<long>(s.style == SeriesStyle::kLine ? xlNone : xlMarkerStyleCircle));
    if (s.style != SeriesStyle::kLine) {
      Put(series, L"MarkerSize", s.openMarkers ? 6L : 4L);
      if (s.color) Put(series, L"MarkerForegroundColor", ExcelColor(*s.color));
      if (s.openMarkers) {
        Put(series, L"MarkerBackgroundColorIndex", static_cast<long>(xlNone));
      } else if (s.color) {
        Put(series, L"MarkerBackgroundColor", ExcelColor(*s.color));
      }
    }
    for (const auto& [index, text] : s.pointLabels) {
      const Ref point = GetObject(series, L"Points", Args(static_cast<long>(index + 1)), DISPATCH_METHOD);
      Put(point, L"HasDataLabel", true);
      const Ref label = GetObject(point, L"DataLabel");
      Put(label, L"Text", text);
      Put(label, L"Position", static_cast<long>(xlLabelPositionRight));
      Put(GetObject(label, L"Font"), L"Size", 8L);
    }
    if (s.secondaryAxis) {
      Put(series, L"AxisGroup", static_cast<long>(xlSecondary));
      secondary = true;
    }
  }
  Put(chart, L"HasTitle", true);
  Put(GetObject(chart, L"ChartTitle"), L"Text", spec.title);
  Put(chart, L"HasLegend", spec.legend);
  if (spec.legend) Put(GetObject(chart, L"Legend"), L"Position", static_cast<long>(xlLegendPositionBottom));

  const auto axis = [&](long type, long group, const ChartAxis& a) {
    const Ref object = GetObject(chart, L"Axes", Args(type, group), DISPATCH_METHOD);
    if (a.logarithmic) Put(object, L"ScaleType", static_cast<long>(xlScaleLogarithmic));
    if (a.min) Put(object, L"MinimumScale", *a.min);
    if (a.max) Put(object, L"MaximumScale", *a.max);
    if (a.majorUnit) Put(object, L"MajorUnit", *a.majorUnit);
    if (!a.numberFormat.empty()) Put(GetObject(object, L"TickLabels"), L"NumberFormat", a.numberFormat);
    if (a.gridlines) Put(object, L"HasMajorGridlines", true);
    Put(object, L"HasTitle", true);
    Put(GetObject(object, L"AxisTitle"), L"Text", a.title);
  };
  axis(xlCategory, xlPrimary, spec.x);
  axis(xlValue, xlPrimary, spec.y);
  if (secondary) axis(xlValue, xlSecondary, spec.y2);
  // The plot area where the axis ranges were chosen for it: one ohm as long on both axes.
  if (spec.plotArea) {
    const Ref plot = GetObject(chart, L"PlotArea");
    Put(plot, L"InsideLeft", spec.plotArea->left * 0.75);
    Put(plot, L"InsideTop", spec.plotArea->top * 0.75);
    Put(plot, L"InsideWidth", spec.plotArea->width * 0.75);
    Put(plot, L"InsideHeight", spec.plotArea->height * 0.75);
  }
}

void SetUpPages(const Ref& worksheet, const FormattedSheet& sheet) {
  const Ref page = GetObject(worksheet, L"PageSetup");
  Put(page, L"Orientation", static_cast<long>(sheet.landscape ? xlLandscape : xlPortrait));
  Put(page, L"PaperSize", static_cast<long>(xlPaperA4));
  if (sheet.fitToOnePageWide) {
    Put(page, L"Zoom", false);
    Put(page, L"FitToPagesWide", 1L);
    Put(page, L"FitToPagesTall", false);
  }
  if (sheet.repeatRows) Put(page, L"PrintTitleRows", "$1:$" + std::to_string(*sheet.repeatRows + 1));
  for (const std::size_t row : sheet.pageBreaks) {
    const Ref breaks = GetObject(worksheet, L"HPageBreaks");
    GetObject(breaks, L"Add", Args(Arg(GetObject(worksheet, L"Range", Args(Address(row, 0))))), DISPATCH_METHOD);
  }
}

// The sheets added so far by name, for the charts over another sheet's columns.
using AddedSheets = std::vector<std::pair<std::string, Ref>>;

// One formatted sheet after the workbook's last: its name, values, formats, widths, page setup, then
// the charts. A chart that fails is left out; the sheet stays.
void AddFormattedSheet(const Ref& worksheets, const FormattedSheet& sheet, AddedSheets& added) {
  const long count = GetLong(worksheets, L"Count");
  const Ref last = GetObject(worksheets, L"Item", Args(count));
  const Ref worksheet = GetObject(worksheets, L"Add", Args(Arg::Missing(), Arg(last)), DISPATCH_METHOD);
  Put(worksheet, L"Name", sheet.name);

  // The values through the report's own cell writes: a number as its 17-digit text, then its format.
  ExcelWorksheet sheetWrapper;
  worksheet.get()->AddRef();
  sheetWrapper.AttachDispatch(std::make_unique<ComDispatchObject>(worksheet.get()));
  ExcelRange range;
  range.AttachDispatch(sheetWrapper.GetCells());
  for (const SheetCell& cell : sheet.cells) {
    std::string text;
    if (const double* number = std::get_if<double>(&cell.value)) {
      text = Format("%.17g", *number);
    } else {
      text = std::get<std::string>(cell.value);
    }
    range.SetItem(std::to_string(cell.row + 1), ReportColumnLetters(cell.column), text);
  }
  FormatCells(worksheet, sheet);
  for (std::size_t column = 0; column < sheet.columnWidths.size(); ++column) {
    const std::string letters = ReportColumnLetters(column);
    Put(GetObject(worksheet, L"Range", Args(letters + ":" + letters)), L"ColumnWidth", sheet.columnWidths[column]);
  }
  if (sheet.rowHeight) {
    const Ref rows = GetObject(worksheet, L"Range", Args("1:" + std::to_string(RowsInUse(sheet))));
    Put(rows, L"RowHeight", *sheet.rowHeight);
  }
  SetUpPages(worksheet, sheet);
  for (const SheetChart& chart : sheet.charts) {
    try {
      const Ref* data = &worksheet;
      for (const auto& [name, other] : added) {
        if (name == chart.dataSheet) data = &other;
      }
      AddChart(worksheet, *data, chart);
    } catch (const AutomationError&) {
      // The sheet keeps its values; the report goes on without this chart.
    }
  }
  worksheet.get()->AddRef();
  added.emplace_back(sheet.name, Ref(worksheet.get()));
}

// Adds the sheets after the last sheet of the workbook: those that the automation part of the report
// did not write (the summary, the spectrum and its charts); the sheets it wrote (the parameter
// sheet) get their page setup. A server that cannot name its members (no Excel: a server of the
// report's calls alone) gets the parameter sheet's cells only.
void AddFormattedSheets(ExcelWorkbook& workbook, const std::vector<const FormattedSheet*>& sheets) {
  const auto* book = dynamic_cast<const ComDispatchObject*>(workbook.Object());
  if (book == nullptr) return;
  DISPID probe = DISPID_UNKNOWN;
  LPOLESTR name[] = {const_cast<LPOLESTR>(L"Worksheets")};
  if (FAILED(book->Interface()->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &probe))) return;

  book->Interface()->AddRef();
  const Ref self(book->Interface());
  const Ref worksheets = GetObject(self, L"Worksheets");
  AddedSheets added;
  for (const FormattedSheet* sheet : sheets) {
    if (sheet->item.empty()) {
      AddFormattedSheet(worksheets, *sheet, added);
    } else {
      SetUpPages(GetObject(worksheets, L"Item", Args(sheet->item)), *sheet);
    }
  }
}

}  // namespace

void ShowReport(const ReportWorkbook& report) {
  ShowReportByAutomation(report, CreateAutomationServer, AddFormattedSheets);
}

std::unique_ptr<DispatchObject> CreateAutomationServer(const std::string& progId) {
  const std::wstring wideProgId = AnsiToWide(progId);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(wideProgId.c_str(), &clsid))) return nullptr;

  // As COleDispatchDriver::CreateDispatch: any local or in-process server, run, then IDispatch.
  IUnknown* unknown = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL & ~CLSCTX_REMOTE_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&unknown))) ||
      unknown == nullptr) {
    return nullptr;
  }
  IDispatch* dispatch = nullptr;
  HRESULT hr = OleRun(unknown);
  if (SUCCEEDED(hr)) hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  unknown->Release();
  if (FAILED(hr) || dispatch == nullptr) return nullptr;
  try {
    return std::make_unique<ComDispatchObject>(dispatch);
  } catch (...) {
    dispatch->Release();
    return nullptr;
  }
}
