// The arguments of one IDispatch::Invoke, checked against the member's
// description and made exactly what the type library's own Invoke expects, so
// that it converts, allocates and fails for nothing.
//
// Checks, in this order, as Windows reports them: named arguments name a
// parameter (DISP_E_NONAMEDARGS for a member without parameters,
// DISP_E_PARAMNOTFOUND otherwise), the count fits (DISP_E_BADPARAMCOUNT),
// no parameter is left out (DISP_E_PARAMNOTOPTIONAL), and each argument
// converts to its parameter's type (DISP_E_TYPEMISMATCH, or the conversion's
// DISP_E_OVERFLOW / DISP_E_BADVARTYPE). The failing argument's index goes to
// *puArgErr. A property put's value may be named DISPID_PROPERTYPUT.
//
// The caller's arguments are never changed or freed: a by-value argument is
// passed as a copy this object owns and clears. A by-reference argument of
// the declared type passes straight through, so the callee writes into the
// caller's storage. Script clients pass variables as VT_BYREF|VT_VARIANT:
// one that holds the declared type is passed as a reference into it; one
// holding another type is converted into a temporary, and WriteBack stores
// the temporary into the variable only when the callee changed it, so a
// variable the callee leaves alone keeps its type as well as its value.
#pragma once

#include <deque>
#include <vector>

#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

class DispatchArguments {
 public:
  // Prepares the arguments of objParams for the function `desc` called with
  // wFlags. A failure gives the status Invoke reports; nothing is kept.
  HRESULT Prepare(const FUNCDESC& desc, WORD wFlags, const DISPPARAMS& objParams, UINT* puArgErr);

  // Valid after a successful Prepare, for as long as this object lives.
  DISPPARAMS* Params() { return &mobjParams; }

  // After the call: stores each converted temporary of a script variable
  // that the callee changed into that variable.
  void WriteBack();

 private:
  // A script variable passed converted: the callee sees varTemp.
  struct Converted {
    VARIANT* varCaller = nullptr;
    UniqueVariant varTemp;
    UniqueVariant varOriginal;  // varTemp as it was before the call
  };

  // What the callee sees for one argument of the declared type objType.
  HRESULT PrepareOne(const TYPEDESC& objType, VARIANT* varArg, VARIANTARG& varPassed);
  // A new variant of this object holding varSource converted to vt
  // (VT_VARIANT: copied as it is, references followed).
  HRESULT OwnedCopy(const VARIANT* varSource, VARTYPE vt, VARIANT** lpCopy);

  std::vector<VARIANTARG> mvarPassed;   // shallow: references and owned copies
  std::deque<UniqueVariant> mvarOwned;  // the copies the callee sees by value
  std::deque<Converted> mobjConverted;
  DISPID mlngPutId = DISPID_PROPERTYPUT;
  DISPPARAMS mobjParams{};
};

}  // namespace win32kit
