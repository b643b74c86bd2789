// What quillvane.dll serves: the one class CashDrawer, registered under the
// programmatic identifier quillvane.CashDrawer, with its type library.
#include <iterator>

#include "service/win32/CashDrawerObject.h"
#include "service/win32/TypeLibDeclarations.h"
#include "win32kit/InprocServer.h"

namespace {

win32kit::ClassFactory gCashDrawerFactory{&quillvane::win32::CashDrawerObject::Create};

const win32kit::ServedClass kClasses[] = {
    {&CLSID_CashDrawer, L"quillvane.CashDrawer", L"quillvane.CashDrawer", &gCashDrawerFactory},
};

}  // namespace

const win32kit::InprocServer win32kit::kInprocServer = {&LIBID_quillvane, kClasses,
                                                        std::size(kClasses)};
