#include "standin/ServiceLink.h"

#include "contract/OposConstants.h"
#include "win32kit/Text.h"

namespace quillvane::standin {

using win32kit::CallOutcome;
using win32kit::ComRef;
using win32kit::UniqueBstr;
using win32kit::UniqueHkey;
using win32kit::UniqueVariant;

namespace {

// The default value of an open key as text: REG_SZ or REG_EXPAND_SZ (not
// expanded), without the terminators. Anything else gives empty text.
std::wstring ReadDefaultText(HKEY hKey) {
  DWORD lngType = 0;
  DWORD lngBytes = 0;
  if (RegQueryValueExW(hKey, nullptr, nullptr, &lngType, nullptr, &lngBytes) != ERROR_SUCCESS) {
    return {};
  }
  if (lngType != REG_SZ && lngType != REG_EXPAND_SZ) return {};
  std::wstring strValue(lngBytes / sizeof(wchar_t) + 1, L'\0');
  DWORD lngRead = static_cast<DWORD>(strValue.size() * sizeof(wchar_t));
  if (RegQueryValueExW(hKey, nullptr, nullptr, &lngType, reinterpret_cast<BYTE*>(strValue.data()),
                       &lngRead) != ERROR_SUCCESS) {
    return {};
  }
  // The stored value need not be terminated, or may hold more than one.
  strValue.resize(lngRead / sizeof(wchar_t));
  std::size_t lngEnd = strValue.find(L'\0');
  if (lngEnd != std::wstring::npos) strValue.resize(lngEnd);
  return strValue;
}

}  // namespace

std::int32_t FindServiceClass(const std::u16string& strDeviceName, CLSID* lpClsid) {
  // A device is one subkey of the category: an empty name would read the
  // category key itself, a backslash would reach below another device, and
  // a NUL would end the name early and name another device.
  if (strDeviceName.empty() ||
      strDeviceName.find_first_of(std::u16string(u"\\\0", 2)) != std::u16string::npos) {
    return OPOS_OR_REGBADNAME;
  }
  const std::wstring strKey = win32kit::ToWide(kCashDrawerCategoryKey + strDeviceName);
  UniqueHkey hKey;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_QUERY_VALUE, hKey.Put()) !=
      ERROR_SUCCESS) {
    return OPOS_OR_REGBADNAME;
  }
  const std::wstring strProgId = ReadDefaultText(hKey.Get());
  if (strProgId.empty() || FAILED(CLSIDFromProgID(strProgId.c_str(), lpClsid))) {
    return OPOS_OR_REGPROGID;
  }
  return 0;
}

HRESULT ServiceLink::Create(REFCLSID clsid, ServiceLink& objLink) {
  ComRef<IDispatch> objService;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(objService.Put()));
  if (FAILED(hr)) return hr;
  if (!objService) return E_NOINTERFACE;
  objLink = ServiceLink(std::move(objService));
  return S_OK;
}

CallOutcome ServiceLink::Call(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                              VARIANT* varResult) const {
  if (!mobjService) return CallOutcome{E_POINTER, {}};
  return win32kit::CallByName(mobjService.Get(), strName, objArgs, varResult);
}

CallOutcome ServiceLink::CallLong(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                                  LONG* lngResult) const {
  *lngResult = 0;
  UniqueVariant varResult;
  CallOutcome objOutcome = Call(strName, objArgs, varResult.Get());
  if (FAILED(objOutcome.hr)) return objOutcome;
  UniqueVariant varLong;
  objOutcome.hr = VariantChangeType(varLong.Get(), varResult.Get(), 0, VT_I4);
  if (SUCCEEDED(objOutcome.hr)) *lngResult = varLong.Get()->lVal;
  return objOutcome;
}

CallOutcome ServiceLink::CallText(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                                  UniqueBstr& strResult) const {
  strResult.Put();
  UniqueVariant varResult;
  CallOutcome objOutcome = Call(strName, objArgs, varResult.Get());
  if (FAILED(objOutcome.hr)) return objOutcome;
  UniqueVariant varText;
  objOutcome.hr = VariantChangeType(varText.Get(), varResult.Get(), 0, VT_BSTR);
  if (SUCCEEDED(objOutcome.hr)) *strResult.Put() = std::exchange(varText.Get()->bstrVal, nullptr);
  return objOutcome;
}

}  // namespace quillvane::standin
