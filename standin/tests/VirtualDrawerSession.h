// The stand-in against quillvane.dll driving the virtual drawer: a session
// as an application runs it, with the status updates of the real service
// object arriving as StatusUpdateEvent. Expects the simulator started with
// one drawer (vendor 06E5, product 04D2, serial 1) and the replacement DLLs
// installed for this program. Gives the number of failed checks.
#pragma once

namespace standin_test {

int RunVirtualDrawerSession();

}  // namespace standin_test
