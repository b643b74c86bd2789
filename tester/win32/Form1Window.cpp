#include "tester/win32/Form1Window.h"

#include <new>
#include <string>

#include "tester/LogText.h"
#include "win32kit/Text.h"

namespace brindlemark::win32 {

using win32kit::FromWide;
using win32kit::ToWide;
namespace {

constexpr wchar_t kWindowClass[] = L"BrindlemarkForm1";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The closed height of OpenName and the rows its drop-down list shows.
constexpr int kComboDropRows = 8;

int Pixels(std::int32_t lngTwips) { return lngTwips / kTwipsPerPixel; }

struct ControlClass {
  const wchar_t* strClass;
  DWORD lngStyle;
  DWORD lngExStyle;
};

ControlClass ClassOf(const ControlLayout& objControl) {
  switch (objControl.lngKind) {
    // A caption wider than its button wraps by words.
    case ControlKind::kButton:
      return {L"BUTTON", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, 0};
    case ControlKind::kCheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::kOptionButton:
      return {L"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::kTextBox:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kComboBox:
      return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::kListBox:
      return {L"LISTBOX", LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kFrame:
      return {L"BUTTON", BS_GROUPBOX, 0};
  }
  return {L"STATIC", 0, 0};
}

}  // namespace

Form1Window::Form1Window(HINSTANCE hInstance) : mhInstance(hInstance) {}

Form1Window::~Form1Window() {
  if (mhWnd) DestroyWindow(mhWnd);
}

bool Form1Window::Create() {
  WNDCLASSEXW objClass{};
  objClass.cbSize = sizeof(objClass);
  objClass.lpfnWndProc = &Form1Window::WindowProc;
  objClass.hInstance = mhInstance;
  objClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  objClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  objClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  objClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&objClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // 8-point dialog font at 96 dots per inch, the size the layout is made for.
  mhFont.reset(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg"));

  RECT objFrame{0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
  AdjustWindowRectEx(&objFrame, kWindowStyle, FALSE, 0);
  mhWnd =
      CreateWindowExW(0, kWindowClass, reinterpret_cast<const wchar_t*>(kFormCaption), kWindowStyle,
                      CW_USEDEFAULT, CW_USEDEFAULT, objFrame.right - objFrame.left,
                      objFrame.bottom - objFrame.top, nullptr, nullptr, mhInstance, this);
  if (!mhWnd) return false;

  std::size_t lngCount = 0;
  const ControlLayout* objControls = FormControls(&lngCount);
  for (std::size_t lngIndex = 0; lngIndex < lngCount; ++lngIndex) {
    CreateControl(objControls[lngIndex]);
  }
  // Frames lie under the controls placed over them (a child window created
  // later starts below the earlier ones), and a frame inside another lies
  // above it, so the table's order is walked backwards.
  for (std::size_t lngIndex = lngCount; lngIndex-- > 0;) {
    if (objControls[lngIndex].lngKind != ControlKind::kFrame) continue;
    SetWindowPos(Control(objControls[lngIndex].lngId), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return true;
}

void Form1Window::CreateControl(const ControlLayout& objControl) {
  const ControlClass objClass = ClassOf(objControl);
  DWORD lngStyle = WS_CHILD | WS_CLIPSIBLINGS | objClass.lngStyle;
  if (objControl.blnVisible) lngStyle |= WS_VISIBLE;
  // The option buttons are one group: it starts at the first and ends where
  // the next control starts a group of its own.
  const bool blnInGroup =
      objControl.lngId == ControlId::External || objControl.lngId == ControlId::Interactive;
  if (!blnInGroup) lngStyle |= WS_GROUP;

  HWND hParent = mhWnd;
  int lngLeft = Pixels(objControl.lngLeft);
  int lngTop = Pixels(objControl.lngTop);
  if (objControl.lngParent != ControlId::kNone) {
    const ControlLayout* objParent = FindControl(objControl.lngParent);
    hParent = Control(objControl.lngParent);
    lngLeft -= Pixels(objParent->lngLeft);
    lngTop -= Pixels(objParent->lngTop);
  }
  const int lngWidth = Pixels(objControl.lngWidth);
  const int lngHeight = Pixels(objControl.lngHeight);
  // A drop-down combo box is created with room for its list.
  const int lngCreateHeight =
      objControl.lngKind == ControlKind::kComboBox ? lngHeight * (kComboDropRows + 1) : lngHeight;
  HWND hControl = CreateWindowExW(
      objClass.lngExStyle, objClass.strClass, ToWide(objControl.strCaption).c_str(), lngStyle,
      lngLeft, lngTop, lngWidth, lngCreateHeight, hParent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(objControl.lngId)), mhInstance, nullptr);
  if (!hControl) return;
  SendMessageW(hControl, WM_SETFONT, reinterpret_cast<WPARAM>(mhFont.get()), FALSE);

  if (objControl.lngKind == ControlKind::kComboBox) {
    // The closed box takes the layout's height: its edit field is sized to fit.
    RECT objRect;
    GetWindowRect(hControl, &objRect);
    const int lngSurplus = (objRect.bottom - objRect.top) - lngHeight;
    const LRESULT lngField = SendMessageW(hControl, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    if (lngSurplus != 0 && lngField != CB_ERR && lngField - lngSurplus > 0) {
      SendMessageW(hControl, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), lngField - lngSurplus);
    }
  }
  if (objControl.blnSelected) SendMessageW(hControl, BM_SETCHECK, BST_CHECKED, 0);
}

void Form1Window::Show(int lngShowCommand) {
  ShowWindow(mhWnd, lngShowCommand);
  UpdateWindow(mhWnd);
}

LRESULT CALLBACK Form1Window::WindowProc(HWND hWnd, UINT lngMessage, WPARAM wParam, LPARAM lParam) {
  if (lngMessage == WM_NCCREATE) {
    auto* objCreate = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* objWindow = static_cast<Form1Window*>(objCreate->lpCreateParams);
    objWindow->mhWnd = hWnd;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(objWindow));
  }
  auto* objWindow = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  if (!objWindow) return DefWindowProcW(hWnd, lngMessage, wParam, lParam);
  return objWindow->HandleMessage(lngMessage, wParam, lParam);
}

LRESULT Form1Window::HandleMessage(UINT lngMessage, WPARAM wParam, LPARAM lParam) {
  switch (lngMessage) {
    case WM_COMMAND:
      OnCommand(static_cast<ControlId>(LOWORD(wParam)), HIWORD(wParam));
      return 0;
    case WM_DESTROY:
      SetWindowLongPtrW(mhWnd, GWLP_USERDATA, 0);
      mhWnd = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(mhWnd, lngMessage, wParam, lParam);
  }
}

void Form1Window::OnCommand(ControlId lngId, WORD lngNotification) {
  const ControlLayout* objControl = FindControl(lngId);
  if (!mobjForm || !objControl || lngNotification != BN_CLICKED) return;
  switch (objControl->lngKind) {
    case ControlKind::kButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      break;
    default:
      return;
  }
  // Nothing may leave a window procedure: anything the logic did not turn
  // into a log line of its own ends the click with one here.
  try {
    mobjForm->Click(lngId);
  } catch (const std::bad_alloc&) {
    AppendLogLine(LogLine(u"Brindlemark Error = ", static_cast<std::int32_t>(E_OUTOFMEMORY)));
  } catch (...) {
    AppendLogLine(LogLine(u"Brindlemark Error = ", static_cast<std::int32_t>(E_UNEXPECTED)));
  }
  // The window was closed inside the click (during a wait, whose message
  // loop may have taken the quit request): ask again so the program ends.
  if (!mhWnd) PostQuitMessage(0);
}

void Form1Window::SetChecked(ControlId lngId, bool blnChecked) {
  SendMessageW(Control(lngId), BM_SETCHECK, blnChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Form1Window::IsChecked(ControlId lngId) const {
  return SendMessageW(Control(lngId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1Window::SetText(ControlId lngId, const std::u16string& strText) {
  SetWindowTextW(Control(lngId), ToWide(strText).c_str());
}

std::u16string Form1Window::GetText(ControlId lngId) const {
  HWND hControl = Control(lngId);
  const int lngLength = GetWindowTextLengthW(hControl);
  if (lngLength <= 0) return {};
  std::wstring strText(static_cast<std::size_t>(lngLength) + 1, L'\0');
  const int lngCopied = GetWindowTextW(hControl, strText.data(), lngLength + 1);
  return FromWide(strText.data(), static_cast<std::size_t>(lngCopied > 0 ? lngCopied : 0));
}

void Form1Window::EnableControl(ControlId lngId, bool blnEnabled) {
  EnableWindow(Control(lngId), blnEnabled ? TRUE : FALSE);
}

void Form1Window::ClearOpenName() {
  HWND hCombo = Control(ControlId::OpenName);
  SendMessageW(hCombo, CB_RESETCONTENT, 0, 0);
  SetWindowTextW(hCombo, L"");
}

void Form1Window::AddOpenNameItem(const std::u16string& strName) {
  SendMessageW(Control(ControlId::OpenName), CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(ToWide(strName).c_str()));
}

void Form1Window::AppendLogLine(const std::u16string& strLine) {
  SendMessageW(Control(ControlId::List1), LB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(ToWide(strLine).c_str()));
}

}  // namespace brindlemark::win32
