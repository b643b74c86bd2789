// What quillvane_control.dll serves: the one class ControlObject. Its
// programmatic identifier is its own, so it never replaces a standard
// control object on the machine.
#include <iterator>

#include "quillvane_control_h.h"
#include "standin/ControlStandIn.h"
#include "win32kit/InprocServer.h"

namespace {

win32kit::ClassFactory gControlObjectFactory{&quillvane::standin::ControlStandIn::Create};

const win32kit::ServedClass kClasses[] = {
    {&CLSID_ControlObject, L"quillvane.ControlObject", L"quillvane control object stand-in",
     &gControlObjectFactory},
};

}  // namespace

const win32kit::InprocServer win32kit::kInprocServer = {&LIBID_QuillvaneControl, kClasses,
                                                        std::size(kClasses)};
