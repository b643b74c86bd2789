// Checks and late-bound calls shared by the stand-in's Wine test client.
#pragma once

#include <string>
#include <vector>

#include "contract/ControlObject.h"
#include "win32kit/DispatchCall.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace standin_test {

using win32kit::ComRef;
using win32kit::UniqueBstr;
using win32kit::UniqueVariant;

// Failed checks so far; the client's exit code.
int FailureCount();
void Expect(bool condition, const std::string& what);
void ExpectLong(long actual, long expected, const std::string& what);
void ExpectHr(HRESULT actual, HRESULT expected, const std::string& what);
void ExpectText(const std::wstring& actual, const std::wstring& expected, const std::string& what);

std::string Narrow(const std::wstring& text);

// Arguments: the toolkit's LongArg and TextArg, and a long by reference.
using win32kit::LongArg;
using win32kit::TextArg;
VARIANT LongRef(LONG* value);

// One IDispatch::Invoke by DISPID, arguments in the callee's order.
struct Invocation {
  HRESULT hr = E_FAIL;
  UniqueVariant result;
  HRESULT scode = S_OK;      // from the exception record, on DISP_E_EXCEPTION
  std::wstring description;  // likewise
};
void InvokeById(IDispatch* object, DISPID dispid, WORD flags, const std::vector<VARIANT>& args,
                Invocation& out);

// A method expected to succeed with a 32-bit result; -9999 when it does not.
LONG CallLong(IDispatch* object, DISPID dispid, const std::vector<VARIANT>& args,
              const std::string& what);
// A property get expected to succeed with the variant type vt.
LONG GetLong(IDispatch* object, DISPID dispid, const std::string& what);
VARIANT_BOOL GetFlag(IDispatch* object, DISPID dispid, const std::string& what);
std::wstring GetText(IDispatch* object, DISPID dispid, const std::string& what);
// A property put of an automation boolean, expected to succeed.
void PutFlag(IDispatch* object, DISPID dispid, VARIANT_BOOL value, const std::string& what);

// SOStatusUpdate in the stand-in's interface.
constexpr DISPID kDispidSOStatusUpdate = 200;

// A new stand-in, created by its ProgID; empty (and a failed check) when
// that fails.
ComRef<IDispatch> CreateStandIn();
// Open(name) on the stand-in, expected to succeed with a result code.
LONG OpenDevice(IDispatch* cd, const wchar_t* name);

// Registry fixtures, below HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT.
void WriteDefaultValue(HKEY root, const std::wstring& key, const std::wstring* value);
void DeleteKeyTree(HKEY root, const std::wstring& key);

}  // namespace standin_test
