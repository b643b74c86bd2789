#include "contract/standin/StandinRegistration.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "quillvane_control_h.h"
#include "service/win32/ComHandles.h"
#include "service/win32/Module.h"

namespace quillvane::standin {

using win32::ComRef;
using win32::UniqueHkey;

namespace {

constexpr wchar_t kProgId[] = L"quillvane.ControlObject";

struct RegistryEntry {
  std::wstring strKey;     // below HKEY_CLASSES_ROOT
  const wchar_t* strName;  // nullptr: the key's default value
  std::wstring strValue;
};

std::wstring GuidText(REFGUID guid) {
  wchar_t strText[40] = {};
  StringFromGUID2(guid, strText, 40);
  return strText;
}

// Parents come before their children.
std::vector<RegistryEntry> RegistrationTable() {
  const std::wstring strClsid = GuidText(CLSID_ControlObject);
  const std::wstring strClassKey = L"CLSID\\" + strClsid;
  return {
      {kProgId, nullptr, L"quillvane control object stand-in"},
      {std::wstring(kProgId) + L"\\CLSID", nullptr, strClsid},
      {strClassKey, nullptr, L"quillvane control object stand-in"},
      {strClassKey + L"\\InprocServer32", nullptr, win32::ModulePath()},
      {strClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {strClassKey + L"\\ProgID", nullptr, kProgId},
      {strClassKey + L"\\TypeLib", nullptr, GuidText(LIBID_QuillvaneControl)},
  };
}

HRESULT WriteEntry(const RegistryEntry& objEntry) {
  UniqueHkey hKey;
  LONG lngStatus =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, objEntry.strKey.c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, hKey.Put(), nullptr);
  if (lngStatus != ERROR_SUCCESS) return HRESULT_FROM_WIN32(lngStatus);
  const DWORD lngBytes = static_cast<DWORD>((objEntry.strValue.size() + 1) * sizeof(wchar_t));
  lngStatus = RegSetValueExW(hKey.Get(), objEntry.strName, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(objEntry.strValue.c_str()), lngBytes);
  return lngStatus == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(lngStatus);
}

}  // namespace

HRESULT RegisterStandin() {
  if (win32::ModulePath().empty()) return SELFREG_E_CLASS;
  for (const RegistryEntry& objEntry : RegistrationTable()) {
    HRESULT hr = WriteEntry(objEntry);
    if (FAILED(hr)) {
      UnregisterStandin();
      return hr;
    }
  }
  ComRef<ITypeLib> objTypeLib;
  HRESULT hr = win32::LoadOwnTypeLib(objTypeLib);
  if (SUCCEEDED(hr)) {
    std::wstring strPath = win32::ModulePath();
    hr = RegisterTypeLib(objTypeLib.Get(), strPath.data(), nullptr);
  }
  if (FAILED(hr)) {
    UnregisterStandin();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT UnregisterStandin() {
  HRESULT hrResult = S_OK;
  HRESULT hr = UnRegisterTypeLib(LIBID_QuillvaneControl, 1, 0, 0, SYS_WIN32);
  if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY &&
      hr != TYPE_E_LIBNOTREGISTERED) {
    hrResult = SELFREG_E_TYPELIB;
  }
  const std::vector<RegistryEntry> objTable = RegistrationTable();
  for (auto it = objTable.rbegin(); it != objTable.rend(); ++it) {
    LONG lngStatus = RegDeleteKeyW(HKEY_CLASSES_ROOT, it->strKey.c_str());
    if (lngStatus != ERROR_SUCCESS && lngStatus != ERROR_FILE_NOT_FOUND) hrResult = SELFREG_E_CLASS;
  }
  return hrResult;
}

}  // namespace quillvane::standin
