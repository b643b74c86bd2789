// Brindlemark: the operator's one-window tester of a cash drawer through the
// control object. The window's thread is a COM apartment; the control object
// is created with the window and released after the message loop ends.
#include "win32kit/WinHeaders.h"
// COM after windows.h.
#include <objbase.h>

#include "tester/Form1.h"
#include "tester/win32/DispatchControlObject.h"
#include "tester/win32/Form1Window.h"
#include "tester/win32/Win32DeviceRegistry.h"

namespace {

// The thread's COM apartment, left when the program ends.
class ComApartment {
 public:
  ComApartment() : mlngStatus(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(mlngStatus)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT mlngStatus;
};

int RunMessageLoop(HWND hWnd) {
  MSG objMessage;
  BOOL lngGot;
  while ((lngGot = GetMessageW(&objMessage, nullptr, 0, 0)) != 0) {
    if (lngGot == -1) return 1;
    // Tab and arrow keys move between the controls as in a dialog.
    if (IsWindow(hWnd) && IsDialogMessageW(hWnd, &objMessage)) continue;
    TranslateMessage(&objMessage);
    DispatchMessageW(&objMessage);
  }
  return static_cast<int>(objMessage.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int lngShowCommand) {
  ComApartment objApartment;
  brindlemark::win32::DispatchControlObject cd;
  brindlemark::win32::Form1Window objWindow(hInstance);
  if (!objWindow.Create()) return 1;
  brindlemark::Form1 objForm(cd, objWindow);
  objWindow.Attach(&objForm);

  brindlemark::win32::Win32DeviceRegistry objRegistry;
  objForm.Form_Load(objRegistry);
  objWindow.Show(lngShowCommand);
  return RunMessageLoop(objWindow.Handle());
}
