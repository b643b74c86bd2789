// The arguments of one IDispatch::Invoke, made acceptable to the type
// library's own Invoke.
//
// Script clients pass variables as VT_BYREF|VT_VARIANT. For a by-reference
// `long*` or `BSTR*` parameter a variable that already holds the declared
// type is passed as VT_BYREF|VT_I4 (or VT_BSTR) pointing into it, so the
// callee writes straight into the caller's variable. A variable of another
// type is converted into a temporary; WriteBack stores the temporary into the
// variable only when the callee changed it, so a variable the callee leaves
// alone keeps its type as well as its value. For a by-value parameter the
// referenced value is passed as a copy. Everything else passes as given.
#pragma once

#include <deque>
#include <vector>

#include "service/win32/ComHandles.h"
#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

class DispatchArguments {
 public:
  // Prepares the arguments for the function `desc`. On a conversion failure
  // gives DISP_E_TYPEMISMATCH and the argument's position in *lngArgError.
  HRESULT Prepare(const FUNCDESC& desc, const DISPPARAMS& objParams, UINT* lngArgError);

  // Valid after a successful Prepare, for as long as this object lives.
  DISPPARAMS* Params() { return &mobjParams; }

  // After the call: stores each converted temporary the callee changed into
  // the caller's variable.
  void WriteBack();

 private:
  struct Converted {
    VARIANT* varCaller = nullptr;  // the caller's variable
    UniqueVariant varTemp;         // what the callee sees
    UniqueVariant varOriginal;     // the temporary as it was before the call
  };

  std::vector<VARIANTARG> mvarArgs;      // shallow: own nothing
  std::deque<UniqueVariant> mvarCopies;  // the by-value copies
  std::deque<Converted> mobjConverted;
  DISPPARAMS mobjParams{};
};

}  // namespace quillvane::win32
