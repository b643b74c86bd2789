// A seeded IDispatch::Invoke fuzzer for quillvane.CashDrawer and for the
// control object stand-in, run under Wine with the virtual drawer:
//
//   qv_invoke_fuzz [--target service|standin] [--calls N | --seconds S]
//                  [--seed X] [--first I] [--device NAME]
//
// Calls run in rounds of kRoundCalls on one object, which starts each round
// fresh, opened on the device, or opened and enabled (rounds take turns).
// Each call is drawn from the seed and its own index alone: DISPIDs in and
// out of range, each dispatch flag, 0-6 arguments of every VARTYPE (by value
// and by reference, NULL BSTRs, 1 MB strings, SAFEARRAYs, reference chains),
// named arguments, NULL result, exception and error-index pointers.
//
// Checked at every call: no crash, no hang, only the HRESULTs IDispatch
// documents, an empty result after a failure, the error index inside the
// arguments, the caller's arguments and everything they point to unchanged
// and its BSTRs still live. Checked at the end: the control object's
// references back where they were, and the process's handles and heap flat.
//
// A failure prints the seed, the call and the command that replays its
// round. Exit code: 0 passed, 1 a check failed, 2 usage or set-up, 3 crash,
// 4 hang.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "tests/wine/DispatchTestSupport.h"
#include "win32kit/ProcessResources.h"

namespace {

constexpr std::uint64_t kRoundCalls = 40;
constexpr DISPID kOpenService = 0x6003000C;
constexpr DISPID kCloseService = 0x60030012;
// Messages dispatched between two calls, at most: a tick that blocks must
// not keep the harness in its pump.
constexpr int kPumpLimit = 8;
constexpr DWORD kHangMs = 30000;

// Heap growth a run may show without a leak: Wine's own caches settle in
// the first rounds, before the first measurement.
constexpr long long kHeapSlackBytes = 64 * 1024;
constexpr long long kHandleSlack = 2;

struct Options {
  bool standIn = false;
  std::uint64_t calls = 20000;
  unsigned seconds = 0;
  std::uint64_t seed = 0;
  std::uint64_t first = 0;
  std::wstring device = L"QvFuzz";
  bool verbose = false;  // prints every call and its outcome
};

// splitmix64: every call's numbers follow from the seed and its index.
struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  bool Chance(unsigned percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }
};

// A member of the target's interface, as its dispatch description gives it.
struct Member {
  DISPID id = 0;
  WORD kind = 0;                // INVOKE_*
  std::vector<TYPEDESC> types;  // parameters a caller fills, first to last
  std::vector<TYPEDESC> pointees;
};

// What the watchdog and the crash filter print.
std::atomic<std::uint64_t> gProgress{0};
std::string gCurrent;
std::string gReplay;

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  std::printf("FAIL: crash 0x%08lX in %s\n%s\n",
              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), gCurrent.c_str(),
              gReplay.c_str());
  std::fflush(stdout);
  ExitProcess(3);
}

DWORD WINAPI Watchdog(LPVOID) {
  std::uint64_t seen = gProgress.load();
  for (;;) {
    Sleep(kHangMs);
    const std::uint64_t now = gProgress.load();
    if (now == seen) {
      std::printf("FAIL: no progress for %lu ms in %s\n%s\n", kHangMs, gCurrent.c_str(),
                  gReplay.c_str());
      std::fflush(stdout);
      ExitProcess(4);
    }
    seen = now;
  }
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

bool IsDocumented(HRESULT hr) {
  switch (hr) {
    case S_OK:
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_BADVARTYPE:
    case DISP_E_EXCEPTION:
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_NONAMEDARGS:
    case DISP_E_OVERFLOW:
    case DISP_E_PARAMNOTFOUND:
    case DISP_E_TYPEMISMATCH:
    case DISP_E_UNKNOWNINTERFACE:
    case DISP_E_PARAMNOTOPTIONAL:
    case E_INVALIDARG:
    case E_POINTER:
    case E_OUTOFMEMORY:
      return true;
    default:
      return false;
  }
}

// A member's failure: a run-time error, or one of the boundary's own.
bool IsMemberFailure(SCODE scode) {
  return (static_cast<std::uint32_t>(scode) & 0xFFFF0000u) == 0x800A0000u ||
         scode == E_UNEXPECTED || scode == E_OUTOFMEMORY;
}

// Everything the caller owns for one call, and how it looked before.
class CallerData {
 public:
  CallerData(Rng& rng, qvtest::CountedDispatch& control, const std::wstring& device)
      : mRng(rng), mControl(control), mDevice(device) {}
  ~CallerData() {
    for (BSTR text : mStrings) SysFreeString(text);
    for (SAFEARRAY* array : mArrays) SafeArrayDestroy(array);
  }
  CallerData(const CallerData&) = delete;
  CallerData& operator=(const CallerData&) = delete;

  // An argument of any kind (depth limits nested references).
  VARIANT AnyArgument(int depth = 2);
  // An argument a parameter of this type accepts, mostly.
  VARIANT TypedArgument(const TYPEDESC& type, const TYPEDESC* pointee);
  // The configured device's name, as text.
  VARIANT DeviceName() {
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocStringLen(mDevice.data(), static_cast<UINT>(mDevice.size()));
    mStrings.push_back(name.bstrVal);
    return name;
  }

  void Snapshot(const std::vector<VARIANT>& args);
  // Empty when nothing the caller owns changed; else what did.
  std::string Changes(const std::vector<VARIANT>& args) const;
  // How an argument looks, for a report.
  static std::string Describe(const VARIANT& value);

 private:
  BSTR Text();
  VARIANT Value(VARTYPE vt);
  VARIANT ByRef(int depth);
  VARIANT* Slot() {
    mSlots.emplace_back();
    VariantInit(&mSlots.back());
    return &mSlots.back();
  }
  SAFEARRAY* Array();

  Rng& mRng;
  qvtest::CountedDispatch& mControl;
  const std::wstring& mDevice;
  std::deque<VARIANT> mSlots;  // what by-reference arguments point to
  std::vector<BSTR> mStrings;
  std::vector<SAFEARRAY*> mArrays;

  // Before the call.
  std::vector<VARIANT> mArgsBefore;
  std::deque<VARIANT> mSlotsBefore;
  std::vector<std::wstring> mStringsBefore;
  std::vector<std::vector<unsigned char>> mArraysBefore;
};

BSTR CallerData::Text() {
  std::wstring text;
  switch (mRng.Below(10)) {
    case 0:
      return nullptr;
    case 1:
      break;
    case 2:
      text = std::to_wstring(static_cast<int>(mRng.Next()) % 2000);
      break;
    case 3:
      text = L"abc";
      break;
    case 4:
      text = mDevice;
      break;
    case 5:
      text = mDevice + std::wstring(L"\0x", 2);
      break;
    case 6:
      text = L"\u03a9\u00e9\u20ac\u4e2d";
      break;
    case 7:
      text.assign(1 << 20, mRng.Chance(50) ? L'9' : L'x');
      break;
    default:
      for (std::uint32_t n = mRng.Below(12); n > 0; --n)
        text += static_cast<wchar_t>(mRng.Below(0x3000));
      break;
  }
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  mStrings.push_back(value);
  return value;
}

SAFEARRAY* CallerData::Array() {
  static const VARTYPE kKinds[] = {VT_I4, VT_BSTR, VT_VARIANT, VT_UI1};
  const VARTYPE vt = mRng.Pick(kKinds);
  const ULONG count = mRng.Below(4);
  SAFEARRAY* array = SafeArrayCreateVector(vt, 0, count);
  for (LONG i = 0; array && i < static_cast<LONG>(count); ++i) {
    if (vt == VT_BSTR) {
      BSTR text = Text();
      SafeArrayPutElement(array, &i, text);
    } else if (vt == VT_VARIANT) {
      VARIANT element = Value(VT_I4);
      SafeArrayPutElement(array, &i, &element);
    } else {
      LONG number = static_cast<LONG>(mRng.Next());
      SafeArrayPutElement(array, &i, &number);
    }
  }
  if (array) mArrays.push_back(array);
  return array;
}

VARIANT CallerData::Value(VARTYPE vt) {
  static const LONG kNumbers[] = {
      0,    1,       -1,      2,          3,
      4,    5,       8,       106,        1001,
      1501, 1000001, 1000004, 0x7FFFFFFF, static_cast<LONG>(0x80000000u)};
  VARIANT value;
  VariantInit(&value);
  value.vt = vt;
  switch (vt & VT_TYPEMASK) {
    case VT_BSTR:
      value.bstrVal = Text();
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      // Lent, not owned: the variant adds no reference of its own.
      value.pdispVal = mRng.Chance(70) ? &mControl : nullptr;
      break;
    case VT_ERROR:
      value.scode = mRng.Chance(50) ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(mRng.Next());
      break;
    case VT_BOOL:
      value.boolVal = mRng.Chance(40) ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(mRng.Below(3));
      break;
    case VT_R8:
      value.dblVal = mRng.Chance(30) ? 1e300 * (mRng.Chance(50) ? 1 : -1)
                                     : static_cast<double>(static_cast<int>(mRng.Next())) / 7;
      break;
    case VT_DECIMAL:
      value.decVal.Lo64 = mRng.Next();
      value.decVal.Hi32 = mRng.Chance(50) ? 0 : static_cast<ULONG>(mRng.Next());
      value.decVal.scale = static_cast<BYTE>(mRng.Below(29));
      value.decVal.sign = mRng.Chance(50) ? DECIMAL_NEG : 0;
      value.vt = vt;
      break;
    case VT_I4:
    case VT_INT:
      value.lVal = mRng.Chance(70) ? mRng.Pick(kNumbers) : static_cast<LONG>(mRng.Next());
      break;
    case VT_EMPTY:
    case VT_NULL:
      break;
    default:
      // Every other scalar: random bits.
      value.llVal = static_cast<LONGLONG>(mRng.Next());
      break;
  }
  if (vt & VT_ARRAY) value.parray = Array();
  return value;
}

VARIANT CallerData::ByRef(int depth) {
  static const VARTYPE kTargets[] = {VT_I2,       VT_I4,      VT_R8,     VT_BSTR, VT_BOOL,
                                     VT_DISPATCH, VT_UNKNOWN, VT_UI1,    VT_I8,   VT_CY,
                                     VT_DATE,     VT_ERROR,   VT_DECIMAL};
  VARIANT ref;
  VariantInit(&ref);
  const std::uint32_t kind = mRng.Below(10);
  if (kind < 4) {
    // VT_BYREF|VT_VARIANT: a script variable, a chain, or a loop.
    ref.vt = VT_BYREF | VT_VARIANT;
    VARIANT* target = Slot();
    if (kind == 0 && mRng.Chance(30)) {
      target->vt = VT_BYREF | VT_VARIANT;
      target->pvarVal = target;  // points at itself
    } else if (kind == 1) {
      // Ending in a value, or in a reference that may point nowhere.
      *target = mRng.Chance(30) ? ByRef(0) : AnyArgument(0);
      for (std::uint32_t n = 1 + mRng.Below(12); n > 0; --n) {
        VARIANT* link = Slot();
        link->vt = VT_BYREF | VT_VARIANT;
        link->pvarVal = target;
        target = link;
      }
    } else {
      *target = depth > 0 ? AnyArgument(depth - 1) : Value(VT_I4);
    }
    ref.pvarVal = mRng.Chance(3) ? nullptr : target;
    return ref;
  }
  VARIANT* slot = Slot();
  if (kind == 4) {
    ref.vt = VT_BYREF | VT_ARRAY | VT_I4;
    slot->vt = VT_ARRAY | VT_I4;
    slot->parray = SafeArrayCreateVector(VT_I4, 0, 2);
    if (slot->parray) mArrays.push_back(slot->parray);
    ref.pparray = &slot->parray;
  } else {
    const VARTYPE vt = mRng.Pick(kTargets);
    *slot = Value(vt);
    ref.vt = VT_BYREF | vt;
    // Every value but a DECIMAL starts where the union does.
    ref.byref = vt == VT_DECIMAL ? static_cast<void*>(&slot->decVal) : &slot->lVal;
  }
  if (mRng.Chance(3)) ref.byref = nullptr;
  return ref;
}

VARIANT CallerData::AnyArgument(int depth) {
  static const VARTYPE kValues[] = {VT_EMPTY,   VT_NULL,    VT_I2,   VT_I4,       VT_R4,    VT_R8,
                                    VT_CY,      VT_DATE,    VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL,
                                    VT_UNKNOWN, VT_DECIMAL, VT_I1,   VT_UI1,      VT_UI2,   VT_UI4,
                                    VT_I8,      VT_UI8,     VT_INT,  VT_UINT};
  // Types no variant may hold; their data is zero.
  static const VARTYPE kInvalid[] = {VT_VOID, VT_HRESULT, VT_PTR, VT_LPSTR,
                                     VT_BLOB, 0x7FFF,     0x0FFF, VT_VECTOR | VT_I4};
  const std::uint32_t kind = mRng.Below(100);
  if (kind < 30 && depth > 0) return ByRef(depth);
  if (kind < 38) return Value(static_cast<VARTYPE>(VT_ARRAY | VT_I4));
  if (kind < 41) {
    VARIANT odd;
    VariantInit(&odd);
    odd.vt = mRng.Pick(kInvalid);
    return odd;
  }
  return Value(mRng.Pick(kValues));
}

VARIANT CallerData::TypedArgument(const TYPEDESC& type, const TYPEDESC* pointee) {
  if (mRng.Chance(25)) return AnyArgument();
  if (type.vt != VT_PTR || !pointee) return Value(type.vt == VT_VARIANT ? VARTYPE{VT_I4} : type.vt);
  // A by-reference parameter given a value, as late-bound callers may.
  if (mRng.Chance(30)) {
    VARIANT value = Value(pointee->vt == VT_VARIANT ? VARTYPE{VT_DISPATCH} : pointee->vt);
    if (pointee->vt == VT_VARIANT) value.pdispVal = &mControl;
    return value;
  }
  // By reference: to the caller's storage, or as a script variable.
  VARIANT* slot = Slot();
  if (pointee->vt == VT_VARIANT) {
    slot->vt = VT_DISPATCH;
    slot->pdispVal = mRng.Chance(80) ? &mControl : nullptr;
  } else {
    *slot = Value(pointee->vt);
  }
  VARIANT ref;
  VariantInit(&ref);
  if (pointee->vt == VT_VARIANT || mRng.Chance(50)) {
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = slot;
  } else {
    ref.vt = VT_BYREF | pointee->vt;
    ref.byref = &slot->lVal;
  }
  return ref;
}

std::string CallerData::Describe(const VARIANT& value) {
  std::string text = "vt " + Hex(value.vt);
  if (value.vt == VT_BSTR) {
    text += value.bstrVal ? " len " + std::to_string(SysStringLen(value.bstrVal)) : " null";
  } else if (value.vt & VT_BYREF) {
    text += value.byref ? " ->" : " -> null";
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) {
      text +=
          value.pvarVal == value.pvarVal->pvarVal ? " (itself)" : " vt " + Hex(value.pvarVal->vt);
    }
  } else if (value.vt == VT_I4) {
    text += " " + std::to_string(value.lVal);
  }
  return text;
}

std::vector<unsigned char> ArrayBytes(SAFEARRAY* array) {
  std::vector<unsigned char> bytes;
  if (!array || !array->pvData) return bytes;
  const auto* data = static_cast<const unsigned char*>(array->pvData);
  bytes.assign(data, data + array->cbElements * array->rgsabound[0].cElements);
  bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&array->pvData),
               reinterpret_cast<unsigned char*>(&array->pvData) + sizeof array->pvData);
  return bytes;
}

void CallerData::Snapshot(const std::vector<VARIANT>& args) {
  mArgsBefore = args;
  mSlotsBefore = mSlots;
  mStringsBefore.clear();
  for (BSTR text : mStrings) mStringsBefore.emplace_back(text, SysStringLen(text));
  mArraysBefore.clear();
  for (SAFEARRAY* array : mArrays) mArraysBefore.push_back(ArrayBytes(array));
}

std::string CallerData::Changes(const std::vector<VARIANT>& args) const {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (std::memcmp(&args[i], &mArgsBefore[i], sizeof(VARIANT)) != 0) {
      return "argument " + std::to_string(i) + " changed: was " + Describe(mArgsBefore[i]) +
             ", is " + Describe(args[i]);
    }
  }
  for (std::size_t i = 0; i < mSlots.size(); ++i) {
    if (std::memcmp(&mSlots[i], &mSlotsBefore[i], sizeof(VARIANT)) != 0) {
      return "the caller's variable " + std::to_string(i) + " changed: was " +
             Describe(mSlotsBefore[i]) + ", is " + Describe(mSlots[i]);
    }
  }
  for (std::size_t i = 0; i < mStrings.size(); ++i) {
    BSTR text = mStrings[i];
    const std::wstring& before = mStringsBefore[i];
    if (SysStringByteLen(text) != before.size() * sizeof(wchar_t) ||
        std::wmemcmp(text, before.data(), before.size()) != 0) {
      return "the caller's string " + std::to_string(i) + " changed or was freed";
    }
    // A freed string goes back to the allocator's cache, which hands the
    // same block out again for the same length.
    BSTR probe = SysAllocStringLen(nullptr, static_cast<UINT>(before.size()));
    const bool reused = probe == text;
    SysFreeString(probe);
    if (reused) return "the caller's string " + std::to_string(i) + " was freed";
  }
  for (std::size_t i = 0; i < mArrays.size(); ++i) {
    if (ArrayBytes(mArrays[i]) != mArraysBefore[i]) {
      return "the caller's array " + std::to_string(i) + " changed";
    }
  }
  return {};
}

class Fuzzer {
 public:
  explicit Fuzzer(const Options& options) : mOptions(options) {}
  int Run();

 private:
  bool LoadMembers(IDispatch* object);
  bool StartRound(std::uint64_t round, IDispatch** object);
  // Runs call `index`; false after a failed check.
  bool RunCall(IDispatch* object, std::uint64_t index, bool opened);
  bool Fail(const std::string& what);
  HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                     VARIANT* result);

  Options mOptions;
  qvtest::CountedDispatch mControl;
  std::vector<Member> mMembers;
  std::vector<std::pair<HRESULT, std::uint64_t>> mTally;
  std::uint64_t mIndex = 0;
};

bool Fuzzer::Fail(const std::string& what) {
  std::printf("FAIL: %s\n  in %s\n%s\n", what.c_str(), gCurrent.c_str(), gReplay.c_str());
  std::fflush(stdout);
  return false;
}

bool Fuzzer::LoadMembers(IDispatch* object) {
  ITypeInfo* info = nullptr;
  if (FAILED(object->GetTypeInfo(0, 0, &info)) || !info) return false;
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    // IUnknown's and IDispatch's own members belong to no target interface.
    if (desc->memid < 0x60000000 || desc->memid >= 0x60020000) {
      Member member;
      member.id = desc->memid;
      member.kind = static_cast<WORD>(desc->invkind);
      for (SHORT p = 0; p < desc->cParams; ++p) {
        const ELEMDESC& param = desc->lprgelemdescParam[p];
        if (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) continue;
        member.types.push_back(param.tdesc);
        member.pointees.push_back(param.tdesc.vt == VT_PTR ? *param.tdesc.lptdesc : TYPEDESC{});
      }
      mMembers.push_back(member);
    }
    info->ReleaseFuncDesc(desc);
  }
  info->ReleaseTypeAttr(attr);
  info->Release();
  return !mMembers.empty();
}

// A fresh object, opened on the device, or opened and enabled.
bool Fuzzer::StartRound(std::uint64_t round, IDispatch** object) {
  using qvtest::CallByName;
  const wchar_t* progId = mOptions.standIn ? L"quillvane.ControlObject" : L"quillvane.CashDrawer";
  *object = qvtest::Create(progId);
  if (!*object)
    return Fail("cannot create " +
                std::string(mOptions.standIn ? "the stand-in" : "the service object"));
  const int state = static_cast<int>(round % 3);
  if (state == 0) return true;
  VARIANT result;
  VariantInit(&result);
  VARIANT device = qvtest::Text(mOptions.device);
  HRESULT hr;
  if (mOptions.standIn) {
    hr = CallByName(*object, L"Open", DISPATCH_METHOD, {device}, &result);
  } else {
    VARIANT deviceClass = qvtest::Text(L"CashDrawer");
    VARIANT holder = qvtest::Object(&mControl);
    hr = CallByName(*object, L"OpenService", DISPATCH_METHOD,
                    {deviceClass, device, qvtest::Ref(&holder)}, &result);
    VariantClear(&deviceClass);
  }
  VariantClear(&device);
  if (FAILED(hr) || result.vt != VT_I4 || result.lVal != 0) {
    return Fail("opening the device gave " + Hex(static_cast<std::uint32_t>(hr)) + " result " +
                std::to_string(result.lVal) + " (is the virtual drawer running?)");
  }
  if (state == 1) return true;
  VARIANT on;
  VariantInit(&on);
  on.vt = VT_BOOL;
  on.boolVal = VARIANT_TRUE;
  hr = mOptions.standIn ? CallByName(*object, L"DeviceEnabled", DISPATCH_PROPERTYPUT, {on}, nullptr)
                        : CallByName(*object, L"SetPropertyNumber", DISPATCH_METHOD,
                                     {qvtest::Long(3), qvtest::Long(1)}, nullptr);
  if (FAILED(hr)) return Fail("enabling the device gave " + Hex(static_cast<std::uint32_t>(hr)));
  return true;
}

bool Fuzzer::RunCall(IDispatch* object, std::uint64_t index, bool opened) {
  Rng rng{mOptions.seed ^ (index * 0xD1B54A32D192ED03ull)};
  rng.Next();
  CallerData caller(rng, mControl, mOptions.device);

  // The member, the flags and the arguments.
  const Member* member =
      rng.Chance(75) ? &mMembers[rng.Below(static_cast<std::uint32_t>(mMembers.size()))] : nullptr;
  DISPID id;
  if (member) {
    id = member->id;
  } else {
    // clang-format off
    static const DISPID kOthers[] = {0, DISPID_VALUE, DISPID_UNKNOWN, DISPID_PROPERTYPUT,
                                     DISPID_NEWENUM, DISPID_EVALUATE, 0x60000000, 0x60010001,
                                     0x60030000, 0x60030002, 0x60030011, 0x60030014, 33, 199, 201};
    // clang-format on
    id = rng.Chance(70) ? rng.Pick(kOthers) : static_cast<DISPID>(rng.Next());
  }
  // clang-format off
  static const WORD kFlags[] = {0, DISPATCH_METHOD, DISPATCH_PROPERTYGET,
                                DISPATCH_METHOD | DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                DISPATCH_PROPERTYPUTREF,
                                DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, 0xFFFF};
  // clang-format on
  WORD flags;
  if (member && rng.Chance(75)) {
    flags = member->kind == INVOKE_FUNC ? DISPATCH_METHOD : member->kind;
    if (member->kind == INVOKE_FUNC && rng.Chance(30)) flags |= DISPATCH_PROPERTYGET;
  } else {
    flags = rng.Chance(80) ? rng.Pick(kFlags) : static_cast<WORD>(rng.Next());
  }
  // On opened objects OpenService is called well-formed and, half the time,
  // with the device's own name, so that rounds keep a drawer to work on.
  const bool reopen = opened && !mOptions.standIn && member && id == kOpenService;
  const bool ownName = reopen && rng.Chance(50);
  const bool wellFormed = reopen || (member && rng.Chance(60));
  std::size_t count = wellFormed ? member->types.size() : rng.Below(7);
  // Well-typed arguments, one too few or one too many.
  if (wellFormed && !reopen && rng.Chance(15))
    count = count > 0 && rng.Chance(50) ? count - 1 : count + 1;
  std::vector<VARIANT> args;  // first to last
  for (std::size_t i = 0; i < count; ++i) {
    if (ownName && i == 1) {
      args.push_back(caller.DeviceName());
    } else if (wellFormed && i < member->types.size()) {
      const TYPEDESC* pointee = member->types[i].vt == VT_PTR ? &member->pointees[i] : nullptr;
      args.push_back(caller.TypedArgument(member->types[i], pointee));
    } else {
      args.push_back(caller.AnyArgument());
    }
  }
  std::vector<VARIANT> rgvarg(args.rbegin(), args.rend());
  std::vector<DISPID> named;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (!rgvarg.empty() && (rng.Chance(put ? 70 : 12))) {
    const std::size_t namedCount = 1 + rng.Below(static_cast<std::uint32_t>(rgvarg.size()));
    for (std::size_t i = 0; i < namedCount; ++i) {
      static const DISPID kNames[] = {0, 1, 2, 3, 4, 5, DISPID_PROPERTYPUT, -1, 77};
      named.push_back(put && i == 0 && rng.Chance(80) ? DISPID_PROPERTYPUT : rng.Pick(kNames));
    }
  }
  DISPPARAMS params{rgvarg.empty() ? nullptr : rgvarg.data(),
                    named.empty() ? nullptr : named.data(), static_cast<UINT>(rgvarg.size()),
                    static_cast<UINT>(named.size())};
  if (!rgvarg.empty() && rng.Chance(1)) params.rgvarg = nullptr;
  const DISPPARAMS paramsBefore = params;
  const bool noParams = rng.Chance(1);
  GUID riid = IID_NULL;
  if (rng.Chance(2)) riid.Data1 = static_cast<unsigned long>(rng.Next());

  VARIANT result;
  VariantInit(&result);
  if (rng.Chance(20)) {
    result.vt = VT_I4;
    result.lVal = 99;
  }
  VARIANT* resultPointer = rng.Chance(20) ? nullptr : &result;
  EXCEPINFO exception;
  std::memset(&exception, 0xCD, sizeof exception);
  EXCEPINFO* exceptionPointer = rng.Chance(20) ? nullptr : &exception;
  const UINT kUnset = 0xDEADBEEF;
  UINT argError = kUnset;
  UINT* argErrorPointer = rng.Chance(20) ? nullptr : &argError;

  gCurrent = "call " + std::to_string(index) + " (seed " + Hex(mOptions.seed) + "): DISPID " +
             Hex(static_cast<std::uint32_t>(id)) + " flags " + Hex(flags) + ", " +
             std::to_string(rgvarg.size()) + " arguments, " + std::to_string(named.size()) +
             " named" + (noParams ? ", no DISPPARAMS" : "") +
             (params.cArgs && !params.rgvarg ? ", rgvarg null" : "") +
             (resultPointer ? "" : ", no result") +
             (exceptionPointer ? "" : ", no exception record") +
             (argErrorPointer ? "" : ", no error index");
  for (std::size_t i = 0; i < rgvarg.size(); ++i) {
    gCurrent += "\n    rgvarg[" + std::to_string(i) + "] " + CallerData::Describe(rgvarg[i]) +
                (i < named.size() ? " named " + std::to_string(named[i]) : "");
  }
  const std::uint64_t roundStart = index / kRoundCalls * kRoundCalls;
  gReplay = "  replay: qv_invoke_fuzz --target " +
            std::string(mOptions.standIn ? "standin" : "service") + " --seed " +
            Hex(mOptions.seed) + " --first " + std::to_string(roundStart) + " --calls " +
            std::to_string(index - roundStart + 1);

  caller.Snapshot(rgvarg);
  const DWORD startedAt = GetTickCount();
  if (mOptions.verbose) {
    std::printf("%s\n", gCurrent.c_str());
    std::fflush(stdout);
  }
  const HRESULT hr =
      object->Invoke(id, riid, LOCALE_USER_DEFAULT, flags, noParams ? nullptr : &params,
                     resultPointer, exceptionPointer, argErrorPointer);
  ++gProgress;
  if (mOptions.verbose) {
    std::printf(
        "  -> %08lX after %lu ms, result vt %u scode %08lX arg error %08X\n",
        static_cast<unsigned long>(hr), GetTickCount() - startedAt, resultPointer ? result.vt : 0u,
        exceptionPointer && hr == DISP_E_EXCEPTION ? static_cast<unsigned long>(exception.scode)
                                                   : 0ul,
        argError);
    std::fflush(stdout);
  }

  bool tallied = false;
  for (auto& entry : mTally) {
    if (entry.first == hr) {
      ++entry.second;
      tallied = true;
    }
  }
  if (!tallied) mTally.emplace_back(hr, 1);

  bool passed = true;
  if (!IsDocumented(hr))
    passed = Fail("undocumented HRESULT " + Hex(static_cast<std::uint32_t>(hr)));
  if (hr == DISP_E_EXCEPTION && exceptionPointer) {
    if (!IsMemberFailure(exception.scode)) {
      passed = Fail("exception with scode " + Hex(static_cast<std::uint32_t>(exception.scode)));
    }
    if (exception.pfnDeferredFillIn) passed = Fail("exception record with a deferred fill-in");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  if (FAILED(hr) && resultPointer && result.vt != VT_EMPTY) {
    passed = Fail("a failed call left a result of type " + Hex(result.vt));
  }
  if (SUCCEEDED(hr) && resultPointer && result.vt != VT_EMPTY && result.vt != VT_I4 &&
      result.vt != VT_BSTR && result.vt != VT_BOOL) {
    passed = Fail("a result of type " + Hex(result.vt));
  }
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argErrorPointer &&
      argError >= params.cArgs) {
    passed = Fail("error index " + Hex(argError) + " for " + std::to_string(params.cArgs) +
                  " arguments");
  }
  if (std::memcmp(&params, &paramsBefore, sizeof params) != 0) passed = Fail("DISPPARAMS changed");
  const std::string changes = caller.Changes(rgvarg);
  if (!changes.empty()) passed = Fail(changes);
  if (resultPointer) VariantClear(&result);
  return passed;
}

int Fuzzer::Run() {
  if (mOptions.seed == 0) {
    mOptions.seed = (static_cast<std::uint64_t>(GetTickCount()) << 32) ^ GetCurrentProcessId();
  }
  std::printf("invoke fuzzer: target %s, seed %s, device \"%ls\"\n",
              mOptions.standIn ? "standin" : "service", Hex(mOptions.seed).c_str(),
              mOptions.device.c_str());
  std::fflush(stdout);

  IDispatch* object = nullptr;
  const std::uint64_t start = mOptions.first / kRoundCalls * kRoundCalls;
  const auto began = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() -
                                                            began)
        .count();
  };
  std::size_t handlesBefore = 0, heapBefore = 0;
  std::uint64_t measuredFrom = 0;
  int failed = 0;
  std::uint64_t index = start;
  for (;; ++index) {
    const bool more =
        mOptions.seconds ? elapsed() < mOptions.seconds : index < start + mOptions.calls;
    if (index % kRoundCalls == 0 || !more) {
      if (object) object->Release();
      object = nullptr;
      // Measured once every kind of round has run: what Wine and the objects
      // keep for good is there by then.
      if (index == start + 3 * kRoundCalls) {
        handlesBefore = win32kit::CountProcessHandles();
        heapBefore = win32kit::HeapBytesInUse();
        measuredFrom = index;
      }
      if (mControl.refs != 1) {
        Fail("the control object keeps " + std::to_string(mControl.refs - 1) +
             " references after its round");
        ++failed;
        mControl.refs = 1;
      }
      if (!more) break;
      if (!StartRound(index / kRoundCalls, &object)) return 2;
      if (mMembers.empty() && !LoadMembers(object)) {
        Fail("no members in the type information");
        return 2;
      }
    }
    if (!RunCall(object, index, index / kRoundCalls % 3 != 0)) ++failed;
    MSG msg;
    for (int pumped = 0; pumped < kPumpLimit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
         ++pumped) {
      DispatchMessageW(&msg);
    }
  }
  const std::uint64_t calls = index - start;
  std::printf("invoke fuzzer: %llu calls in %lld s, %d failed\n",
              static_cast<unsigned long long>(calls), static_cast<long long>(elapsed()), failed);
  for (const auto& entry : mTally) {
    std::printf("  %08lX x %llu\n", static_cast<unsigned long>(entry.first),
                static_cast<unsigned long long>(entry.second));
  }
  if (measuredFrom) {
    const std::size_t handlesAfter = win32kit::CountProcessHandles();
    const std::size_t heapAfter = win32kit::HeapBytesInUse();
    const long long handleGrowth =
        static_cast<long long>(handlesAfter) - static_cast<long long>(handlesBefore);
    const long long heapGrowth =
        static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore);
    std::printf("  from call %llu: handles %zu -> %zu, heap bytes %zu -> %zu\n",
                static_cast<unsigned long long>(measuredFrom), handlesBefore, handlesAfter,
                heapBefore, heapAfter);
    if (handleGrowth > kHandleSlack) {
      Fail("handles grew by " + std::to_string(handleGrowth));
      ++failed;
    }
    if (heapGrowth > kHeapSlackBytes) {
      Fail("heap grew by " + std::to_string(heapGrowth) + " bytes");
      ++failed;
    }
  }
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring value = argv[++i];
    if (name == L"--target" && (value == L"service" || value == L"standin")) {
      options.standIn = value == L"standin";
    } else if (name == L"--calls") {
      options.calls = std::wcstoull(value.c_str(), nullptr, 0);
    } else if (name == L"--seconds") {
      options.seconds = static_cast<unsigned>(std::wcstoul(value.c_str(), nullptr, 0));
    } else if (name == L"--seed") {
      options.seed = std::wcstoull(value.c_str(), nullptr, 0);
    } else if (name == L"--first") {
      options.first = std::wcstoull(value.c_str(), nullptr, 0);
    } else if (name == L"--device") {
      options.device = value;
    } else if (name == L"--verbose") {
      options.verbose = value == L"1";
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::printf(
        "usage: qv_invoke_fuzz [--target service|standin] [--calls N | --seconds S] [--seed X]\n"
        "                      [--first I] [--device NAME] [--verbose 1]\n");
    return 2;
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  CoInitialize(nullptr);
  const int status = Fuzzer(options).Run();
  CoUninitialize();
  return status;
}
