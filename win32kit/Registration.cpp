#include "win32kit/Registration.h"

#include <string>
#include <vector>

#include "contract/AutomationBoundary.h"
#include "win32kit/Module.h"
#include "win32kit/Owners.h"

namespace win32kit {

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
std::vector<RegistryEntry> RegistrationTable(const InprocServer& objServer) {
  std::vector<RegistryEntry> objTable;
  const std::wstring strModule = ModulePath();
  const std::wstring strLibId = GuidText(*objServer.pLibId);
  for (const ServedClass& objClass : objServer) {
    const std::wstring strProgId = objClass.strProgId;
    const std::wstring strClsid = GuidText(*objClass.pClsid);
    const std::wstring strClassKey = L"CLSID\\" + strClsid;
    objTable.insert(objTable.end(),
                    {
                        {strProgId, nullptr, objClass.strDescription},
                        {strProgId + L"\\CLSID", nullptr, strClsid},
                        {strClassKey, nullptr, objClass.strDescription},
                        {strClassKey + L"\\InprocServer32", nullptr, strModule},
                        {strClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
                        {strClassKey + L"\\ProgID", nullptr, strProgId},
                        {strClassKey + L"\\TypeLib", nullptr, strLibId},
                    });
  }
  return objTable;
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

bool KeyExists(const std::wstring& strKey) {
  UniqueHkey hKey;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, strKey.c_str(), 0, KEY_READ, hKey.Put()) == ERROR_SUCCESS;
}

// The interface keys registering the type library writes: one per
// interface it describes (a dual interface's two halves share one).
std::vector<std::wstring> InterfaceKeys() {
  std::vector<std::wstring> strKeys;
  ComRef<ITypeLib> objTypeLib;
  if (FAILED(LoadOwnTypeLib(objTypeLib))) return strKeys;
  const UINT lngCount = objTypeLib->GetTypeInfoCount();
  for (UINT lngIndex = 0; lngIndex < lngCount; ++lngIndex) {
    TYPEKIND lngKind = TKIND_MAX;
    ComRef<ITypeInfo> objInfo;
    if (FAILED(objTypeLib->GetTypeInfoType(lngIndex, &lngKind)) ||
        (lngKind != TKIND_DISPATCH && lngKind != TKIND_INTERFACE) ||
        FAILED(objTypeLib->GetTypeInfo(lngIndex, objInfo.Put()))) {
      continue;
    }
    TYPEATTR* lpAttr = nullptr;
    if (FAILED(objInfo->GetTypeAttr(&lpAttr))) continue;
    ScopedTypeAttr objAttr(objInfo.Get(), lpAttr);
    strKeys.push_back(L"Interface\\" + GuidText(lpAttr->guid));
  }
  return strKeys;
}

HRESULT RemoveRegistration(const InprocServer& objServer);

HRESULT WriteRegistration(const InprocServer& objServer) {
  if (ModulePath().empty()) return SELFREG_E_CLASS;
  for (const RegistryEntry& objEntry : RegistrationTable(objServer)) {
    HRESULT hr = WriteEntry(objEntry);
    if (FAILED(hr)) {
      RemoveRegistration(objServer);
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
    RemoveRegistration(objServer);
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT RemoveRegistration(const InprocServer& objServer) {
  HRESULT hrResult = S_OK;
  // The type library's own unregistration, when it is registered. It gives
  // up when part of its registration is gone; the keys below go regardless.
  const std::wstring strTypeLibKey = L"TypeLib\\" + GuidText(*objServer.pLibId);
  if (KeyExists(strTypeLibKey + L"\\1.0")) UnRegisterTypeLib(*objServer.pLibId, 1, 0, 0, SYS_WIN32);

  const auto Remove = [&](const std::wstring& strKey, bool blnTree) {
    const LONG lngStatus = blnTree ? RegDeleteTreeW(HKEY_CLASSES_ROOT, strKey.c_str())
                                   : RegDeleteKeyW(HKEY_CLASSES_ROOT, strKey.c_str());
    if (lngStatus != ERROR_SUCCESS && lngStatus != ERROR_FILE_NOT_FOUND && KeyExists(strKey)) {
      hrResult = SELFREG_E_CLASS;
    }
  };
  for (const std::wstring& strKey : InterfaceKeys()) Remove(strKey, true);
  Remove(strTypeLibKey + L"\\1.0", true);
  // The library's own key goes too, unless another version lives under it.
  RegDeleteKeyW(HKEY_CLASSES_ROOT, strTypeLibKey.c_str());
  const std::vector<RegistryEntry> objTable = RegistrationTable(objServer);
  for (auto it = objTable.rbegin(); it != objTable.rend(); ++it) Remove(it->strKey, false);
  return hrResult;
}

}  // namespace

HRESULT RegisterServer(const InprocServer& objServer) noexcept {
  auto objOutcome = quillvane::CallMethod([&] { return WriteRegistration(objServer); });
  return FAILED(objOutcome.hresult) ? objOutcome.hresult : objOutcome.value;
}

HRESULT UnregisterServer(const InprocServer& objServer) noexcept {
  auto objOutcome = quillvane::CallMethod([&] { return RemoveRegistration(objServer); });
  return FAILED(objOutcome.hresult) ? objOutcome.hresult : objOutcome.value;
}

}  // namespace win32kit
