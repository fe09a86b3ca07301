// The spreadsheet server on Windows: Excel by OLE Automation, late bound through IDispatch::Invoke
// with the dispatch ids of the report. Every text argument goes out as a BSTR converted from the
// system code page; a failure of the server comes back as AutomationError with its description.
#include "report/excel.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstring>
#include <new>

#include "app/afx.h"
#include "app/win_support.h"
#include "report/report_xlsx.h"

namespace {

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
        const std::wstring wide = AnsiToWide(std::get<std::string>(args[i]));
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

}  // namespace

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
