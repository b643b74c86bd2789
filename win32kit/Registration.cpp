#include "win32kit/Registration.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "contract/AutomationBoundary.h"
#include "win32kit/Module.h"
#include "win32kit/Owners.h"
#include "win32kit/RegistryView.h"

namespace win32kit {

namespace {

// On 64-bit Windows (7 and later) and under Wine, a server of each bitness
// registers into its own view, and the two registrations meet in keys that
// the views share:
// - the ProgID keys and the TypeLib key are one for both views; the type
//   library's own entry is its platform subkey (TypeLib\{libid}\1.0\0\win32
//   or win64), beside the common 1.0, FLAGS and HELPDIR keys;
// - CLSID keys are per view;
// - Interface keys are per view, but registering a type library writes them
//   into both views (with the same values for either bitness), and the
//   system's UnRegisterTypeLib removes them from both.
// So unregistration removes what only its own bitness uses, and what the
// two share only when the other bitness is not registered.

struct RegistryEntry {
  std::wstring strKey;     // below HKEY_CLASSES_ROOT
  const wchar_t* strName;  // nullptr: the key's default value
  std::wstring strValue;
  bool blnShared;  // one key for both views (a ProgID key)
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
                        {strProgId, nullptr, objClass.strDescription, true},
                        {strProgId + L"\\CLSID", nullptr, strClsid, true},
                        {strClassKey, nullptr, objClass.strDescription, false},
                        {strClassKey + L"\\InprocServer32", nullptr, strModule, false},
                        {strClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", false},
                        {strClassKey + L"\\ProgID", nullptr, strProgId, false},
                        {strClassKey + L"\\TypeLib", nullptr, strLibId, false},
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

// A key below HKEY_CLASSES_ROOT in the view given by lngView (0: our own).
bool KeyExists(const std::wstring& strKey, REGSAM lngView = 0) {
  UniqueHkey hKey;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, strKey.c_str(), 0, KEY_READ | lngView, hKey.Put()) ==
         ERROR_SUCCESS;
}

// Whether the key has a subkey other than those named in strIgnored.
bool HasSubkeysBesides(const std::wstring& strKey,
                       std::initializer_list<const wchar_t*> strIgnored) {
  UniqueHkey hKey;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, strKey.c_str(), 0, KEY_READ, hKey.Put()) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD lngIndex = 0;; ++lngIndex) {
    wchar_t strName[256];
    DWORD lngLength = 256;
    const LONG lngStatus = RegEnumKeyExW(hKey.Get(), lngIndex, strName, &lngLength, nullptr,
                                         nullptr, nullptr, nullptr);
    if (lngStatus == ERROR_NO_MORE_ITEMS) return false;
    // A name too long to be one of ours is still a subkey.
    if (lngStatus != ERROR_SUCCESS) return true;
    bool blnIgnored = false;
    for (const wchar_t* strSkip : strIgnored) blnIgnored |= _wcsicmp(strName, strSkip) == 0;
    if (!blnIgnored) return true;
  }
}

// Whether the server of the other bitness has its classes registered on this
// machine: then the keys the two share stay.
bool OtherBitnessRegistered(const InprocServer& objServer) {
  if (!HasOtherView()) return false;
  const REGSAM lngOther = ViewFlag(OtherBitness(kOwnBitness));
  for (const ServedClass& objClass : objServer) {
    if (KeyExists(L"CLSID\\" + GuidText(*objClass.pClsid) + L"\\InprocServer32", lngOther)) {
      return true;
    }
  }
  return false;
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

// Removes the registration of this bitness. The system's UnRegisterTypeLib
// is not used: it would take the interface keys of the other bitness's
// registration with it.
HRESULT RemoveRegistration(const InprocServer& objServer) {
  HRESULT hrResult = S_OK;
  const bool blnKeepShared = OtherBitnessRegistered(objServer);
  // Deletes a key of our own view, or of the view lngView; a key that is
  // gone is no failure, one that is there and stays is.
  const auto Remove = [&](const std::wstring& strKey, bool blnTree, REGSAM lngView = 0) {
    LONG lngStatus = ERROR_SUCCESS;
    if (blnTree) {
      // The parent is opened in the view, so that the tree below it is that
      // view's (a view flag binds only the open it is given to).
      const std::size_t lngSplit = strKey.rfind(L'\\');
      UniqueHkey hParent;
      lngStatus = RegOpenKeyExW(HKEY_CLASSES_ROOT, strKey.substr(0, lngSplit).c_str(), 0,
                                KEY_ALL_ACCESS | lngView, hParent.Put());
      if (lngStatus == ERROR_SUCCESS) {
        lngStatus = RegDeleteTreeW(hParent.Get(), strKey.substr(lngSplit + 1).c_str());
      }
    } else {
      lngStatus = RegDeleteKeyExW(HKEY_CLASSES_ROOT, strKey.c_str(), lngView, 0);
    }
    if (lngStatus != ERROR_SUCCESS && lngStatus != ERROR_FILE_NOT_FOUND &&
        KeyExists(strKey, lngView)) {
      hrResult = SELFREG_E_CLASS;
    }
  };

  // The interface keys, from both views, once neither bitness needs them.
  if (!blnKeepShared) {
    for (const std::wstring& strKey : InterfaceKeys()) {
      Remove(strKey, true);
      if (HasOtherView()) Remove(strKey, true, ViewFlag(OtherBitness(kOwnBitness)));
    }
  }

  // The type library: our platform's subkey, then each common key that
  // nothing else lives under any more (another version, locale or platform).
  const std::wstring strLibKey = L"TypeLib\\" + GuidText(*objServer.pLibId);
  const std::wstring strVersionKey = strLibKey + L"\\1.0";
  const std::wstring strLocaleKey = strVersionKey + L"\\0";
  Remove(strLocaleKey + (kOwnBitness == RegistryBitness::k64 ? L"\\win64" : L"\\win32"), true);
  if (!HasSubkeysBesides(strLocaleKey, {})) Remove(strLocaleKey, true);
  if (!HasSubkeysBesides(strVersionKey, {L"FLAGS", L"HELPDIR"})) Remove(strVersionKey, true);
  if (!HasSubkeysBesides(strLibKey, {})) Remove(strLibKey, true);

  // The class keys, children first; the ProgID keys only when the other
  // bitness's classes are gone too.
  const std::vector<RegistryEntry> objTable = RegistrationTable(objServer);
  for (auto it = objTable.rbegin(); it != objTable.rend(); ++it) {
    if (it->blnShared && blnKeepShared) continue;
    Remove(it->strKey, false);
  }
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
