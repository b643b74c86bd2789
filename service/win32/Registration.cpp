#include "service/win32/Registration.h"

#include <string>
#include <vector>

#include "service/win32/ComHandles.h"
#include "service/win32/Module.h"

namespace quillvane::win32 {

namespace {

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
std::vector<RegistryEntry> RegistrationTable(const ServerIdentity& objServer) {
  const std::wstring strProgId = objServer.strProgId;
  const std::wstring strClsid = GuidText(*objServer.pClsid);
  const std::wstring strClassKey = L"CLSID\\" + strClsid;
  return {
      {strProgId, nullptr, objServer.strDescription},
      {strProgId + L"\\CLSID", nullptr, strClsid},
      {strClassKey, nullptr, objServer.strDescription},
      {strClassKey + L"\\InprocServer32", nullptr, ModulePath()},
      {strClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {strClassKey + L"\\ProgID", nullptr, strProgId},
      {strClassKey + L"\\TypeLib", nullptr, GuidText(*objServer.pLibId)},
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

HRESULT RegisterServer(const ServerIdentity& objServer) {
  if (ModulePath().empty()) return SELFREG_E_CLASS;
  for (const RegistryEntry& objEntry : RegistrationTable(objServer)) {
    HRESULT hr = WriteEntry(objEntry);
    if (FAILED(hr)) {
      UnregisterServer(objServer);
      return hr;
    }
  }
  ComRef<ITypeLib> objTypeLib;
  HRESULT hr = LoadOwnTypeLib(objTypeLib);
  if (SUCCEEDED(hr)) {
    std::wstring strPath = ModulePath();
    hr = RegisterTypeLib(objTypeLib.Get(), strPath.data(), nullptr);
  }
  if (FAILED(hr)) {
    UnregisterServer(objServer);
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT UnregisterServer(const ServerIdentity& objServer) {
  HRESULT hrResult = S_OK;
  // A library that is not registered has nothing to remove.
  UniqueHkey hTypeLibKey;
  const std::wstring strTypeLibKey = L"TypeLib\\" + GuidText(*objServer.pLibId) + L"\\1.0";
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, strTypeLibKey.c_str(), 0, KEY_READ, hTypeLibKey.Put()) ==
      ERROR_SUCCESS) {
    hTypeLibKey.Reset();
    if (FAILED(UnRegisterTypeLib(*objServer.pLibId, 1, 0, 0, SYS_WIN32))) {
      hrResult = SELFREG_E_TYPELIB;
    }
  }
  const std::vector<RegistryEntry> objTable = RegistrationTable(objServer);
  for (auto it = objTable.rbegin(); it != objTable.rend(); ++it) {
    LONG lngStatus = RegDeleteKeyW(HKEY_CLASSES_ROOT, it->strKey.c_str());
    if (lngStatus != ERROR_SUCCESS && lngStatus != ERROR_FILE_NOT_FOUND) hrResult = SELFREG_E_CLASS;
  }
  return hrResult;
}

}  // namespace quillvane::win32
