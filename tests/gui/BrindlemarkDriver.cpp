// Drives a running Brindlemark window from another process, the way an
// operator's clicks reach it: finds the window by caption, checks the layout
// against the twips table, sets texts, clicks buttons (BM_CLICK) and reads
// the log (LB_GETTEXT), all with the wide calls. Steps come from the command
// line and run in order; each failed check prints "FAIL: ..." and counts in
// the exit code.
//
//   window <ms>              wait up to ms for the window
//   layout                   rectangles, kinds, captions, first state, fonts
//   text <name> <text>       set a text box's (or OpenName's) text
//   pick <item>              pick a device name from OpenName's list
//   option <name>            select an option button
//   click <name>             click and wait until the click is handled
//   post <name>              click without waiting
//   until <line> <ms>        wait up to ms for a log line
//   lacks <line>             the log has no such line
//   checked <name> <0|1>     a box's state
//   log                      print the log, one line each
//   rect                     print the window's client rectangle on screen
//   frame                    the same for the whole window, title bar included
//   sleep <ms>
//   close                    ask the window to close
//   version <exe>            the program's version resource (no window needed)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tester/Layout.h"

namespace {

using brindlemark::ControlId;
using brindlemark::ControlKind;
using brindlemark::ControlLayout;

int failures = 0;
HWND form = nullptr;

void Fail(const std::wstring& what) {
  std::fwprintf(stdout, L"FAIL: %ls\n", what.c_str());
  std::fflush(stdout);
  ++failures;
}

std::wstring Wide(const char* text) {
  std::wstring result;
  while (*text) result += static_cast<wchar_t>(*text++);
  return result;
}

std::wstring Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

const ControlLayout* ByName(const std::wstring& name) {
  std::size_t count = 0;
  const ControlLayout* controls = brindlemark::FormControls(&count);
  for (std::size_t i = 0; i < count; ++i) {
    if (Wide(controls[i].strName) == name) return &controls[i];
  }
  return nullptr;
}

HWND ControlWindow(const ControlLayout& control) {
  if (control.lngParent != ControlId::kNone) {
    HWND parent = GetDlgItem(form, static_cast<int>(control.lngParent));
    return GetDlgItem(parent, static_cast<int>(control.lngId));
  }
  return GetDlgItem(form, static_cast<int>(control.lngId));
}

HWND Named(const std::wstring& name) {
  const ControlLayout* control = ByName(name);
  if (!control) {
    Fail(L"no control named " + name);
    return nullptr;
  }
  HWND window = ControlWindow(*control);
  if (!window) Fail(L"control " + name + L" not found in the window");
  return window;
}

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

std::vector<std::wstring> LogLines() {
  std::vector<std::wstring> lines;
  HWND list = GetDlgItem(form, static_cast<int>(ControlId::List1));
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    std::wstring line(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
    line.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    lines.push_back(line);
  }
  return lines;
}

bool HasLine(const std::wstring& wanted) {
  for (const std::wstring& line : LogLines()) {
    if (line == wanted) return true;
  }
  return false;
}

// The control's rectangle in the form's client coordinates.
RECT ClientRectOf(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring Numbers(long a, long b, long c, long d) {
  return std::to_wstring(a) + L"," + std::to_wstring(b) + L"," + std::to_wstring(c) + L"," +
         std::to_wstring(d);
}

HFONT DialogFont() {
  static HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg");
  return font;
}

// The caption must show in full in the dialog font: a box's caption on one
// line beside the 13-pixel box and a 2-pixel gap, a button's
// wrapped by words within its borders, a frame's title within its indent.
void CheckCaptionFits(HWND window, const ControlLayout& control) {
  const std::wstring caption = TextOf(window);
  if (caption.empty() || control.lngKind == ControlKind::kTextBox) return;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, DialogFont());
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  const int width = control.lngWidth / brindlemark::kTwipsPerPixel;
  const int height = control.lngHeight / brindlemark::kTwipsPerPixel;
  int room = width;
  UINT format = DT_CALCRECT | DT_SINGLELINE;
  switch (control.lngKind) {
    case ControlKind::kButton:
      room = width - 6;
      format = DT_CALCRECT | DT_WORDBREAK;
      break;
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      room = width - 13 - 2;
      break;
    case ControlKind::kFrame:
      room = width - 16;
      break;
    default:
      break;
  }
  RECT needed{0, 0, room, 0};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &needed, format);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (needed.right > room || needed.bottom > height - 4) {
    Fail(Wide(control.strName) + L" caption \"" + caption + L"\" needs " +
         std::to_wstring(needed.right) + L"x" + std::to_wstring(needed.bottom) + L" px, has " +
         std::to_wstring(room) + L"x" + std::to_wstring(height - 4) + L" (face " + face + L")");
  }
  if (_wcsicmp(face, L"Tahoma") != 0 && _wcsicmp(face, L"MS Shell Dlg") != 0) {
    Fail(L"the dialog font is " + std::wstring(face) + L", not Tahoma");
  }
}

void CheckLayout() {
  RECT client;
  GetClientRect(form, &client);
  if (client.right != 625 || client.bottom != 477) {
    Fail(L"client area " + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom) +
         L", wanted 625x477");
  }
  std::size_t count = 0;
  const ControlLayout* controls = brindlemark::FormControls(&count);
  for (std::size_t i = 0; i < count; ++i) {
    const ControlLayout& control = controls[i];
    const std::wstring name = Wide(control.strName);
    HWND window = ControlWindow(control);
    if (!window) {
      Fail(name + L" missing");
      continue;
    }
    const int tp = brindlemark::kTwipsPerPixel;
    const RECT rect = ClientRectOf(window);
    const std::wstring got =
        Numbers(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    const std::wstring wanted = Numbers(control.lngLeft / tp, control.lngTop / tp,
                                        control.lngWidth / tp, control.lngHeight / tp);
    if (got != wanted) Fail(name + L" at " + got + L", wanted " + wanted);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const bool visible = (style & WS_VISIBLE) != 0;
    if (visible != control.blnVisible) Fail(name + L" visibility");
    const std::wstring className = ClassOf(window);
    std::wstring wantedClass = L"Button";
    LONG wantedType = -1;
    switch (control.lngKind) {
      case ControlKind::kButton:
        wantedType = BS_PUSHBUTTON;
        break;
      case ControlKind::kCheckBox:
        wantedType = BS_AUTOCHECKBOX;
        break;
      case ControlKind::kOptionButton:
        wantedType = BS_AUTORADIOBUTTON;
        break;
      case ControlKind::kFrame:
        wantedType = BS_GROUPBOX;
        break;
      case ControlKind::kTextBox:
        wantedClass = L"Edit";
        break;
      case ControlKind::kComboBox:
        wantedClass = L"ComboBox";
        break;
      case ControlKind::kListBox:
        wantedClass = L"ListBox";
        break;
    }
    if (_wcsicmp(className.c_str(), wantedClass.c_str()) != 0) {
      Fail(name + L" is a " + className + L", wanted " + wantedClass);
    } else if (wantedType >= 0 && (style & BS_TYPEMASK) != wantedType) {
      Fail(name + L" has button type " + std::to_wstring(style & BS_TYPEMASK));
    }
    if (control.lngKind == ControlKind::kComboBox && (style & 3) != CBS_DROPDOWN) {
      Fail(name + L" is not an editable drop-down combo box");
    }
    if (control.lngKind == ControlKind::kListBox && (style & LBS_SORT)) Fail(name + L" sorts");
    if (control.lngKind == ControlKind::kButton && !(style & BS_MULTILINE)) {
      Fail(name + L" does not wrap its caption");
    }
    if (TextOf(window) != Wide(control.strCaption)) {
      Fail(name + L" shows \"" + TextOf(window) + L"\"");
    }
    if (control.lngKind == ControlKind::kCheckBox ||
        control.lngKind == ControlKind::kOptionButton) {
      const bool checked = SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
      if (checked != control.blnSelected) Fail(name + L" starts in the wrong state");
    }
    if (visible) CheckCaptionFits(window, control);
  }
  if (TextOf(form) != L"Brindlemark") Fail(L"caption \"" + TextOf(form) + L"\"");
  if (!LogLines().empty()) Fail(L"the log is not empty at start");
}

void CheckVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<unsigned char> data(size);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
    Fail(L"no version resource in " + path);
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed->dwFileVersionMS != 0x00010000 || fixed->dwFileVersionLS != 0 ||
      fixed->dwProductVersionMS != 0x00010000 || fixed->dwProductVersionLS != 0 ||
      fixed->dwFileType != VFT_APP) {
    Fail(L"fixed version is not 1.0.0.0 of an application");
  }
  DWORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length != 4 || *translation != ((1200u << 16) | 0x0409u)) {
    Fail(L"translation is not 0409, 1200");
  }
  const wchar_t* strings[][2] = {{L"FileVersion", L"1.00"},
                                 {L"ProductVersion", L"1.00"},
                                 {L"ProductName", L"Brindlemark"},
                                 {L"InternalName", L"Brindlemark"},
                                 {L"OriginalFilename", L"Brindlemark.exe"},
                                 {L"CompanyName", L"quillvane"}};
  for (const auto& entry : strings) {
    wchar_t* value = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + entry[0];
    if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        std::wstring(value) != entry[1]) {
      Fail(std::wstring(entry[0]) + L" is not " + entry[1]);
    }
  }
}

bool WaitFor(int ms, bool (*condition)(const std::wstring&), const std::wstring& arg) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition(arg)) return true;
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
    Sleep(20);
  }
}

bool FormFound(const std::wstring&) {
  form = FindWindowW(nullptr, L"Brindlemark");
  return form && IsWindowVisible(form);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    auto next = [&]() -> std::wstring {
      if (i + 1 >= argc) {
        Fail(step + L" needs an argument");
        std::exit(100);
      }
      return argv[++i];
    };
    if (step == L"window") {
      if (!WaitFor(std::stoi(next()), FormFound, L"")) {
        Fail(L"no window captioned Brindlemark");
        return 100;
      }
      continue;
    }
    if (step == L"version") {
      CheckVersion(next());
      continue;
    }
    if (!form && !FormFound(L"")) {
      Fail(L"no window captioned Brindlemark");
      return 100;
    }
    if (step == L"layout") {
      CheckLayout();
    } else if (step == L"text") {
      HWND window = Named(next());
      const std::wstring text = next();
      if (window) SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else if (step == L"pick") {
      const std::wstring item = next();
      HWND combo = GetDlgItem(form, static_cast<int>(ControlId::OpenName));
      const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(item.c_str()));
      if (index == CB_ERR) {
        Fail(L"OpenName does not list " + item);
      } else {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        if (TextOf(combo) != item) Fail(L"picking " + item + L" shows " + TextOf(combo));
      }
    } else if (step == L"option" || step == L"click") {
      if (HWND window = Named(next())) SendMessageW(window, BM_CLICK, 0, 0);
    } else if (step == L"post") {
      if (HWND window = Named(next())) PostMessageW(window, BM_CLICK, 0, 0);
    } else if (step == L"until") {
      const std::wstring line = next();
      if (!WaitFor(std::stoi(next()), HasLine, line)) Fail(L"no log line \"" + line + L"\"");
    } else if (step == L"lacks") {
      const std::wstring line = next();
      if (HasLine(line)) Fail(L"log line \"" + line + L"\" came too early");
    } else if (step == L"checked") {
      HWND window = Named(next());
      const bool wanted = next() == L"1";
      if (window && (SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED) != wanted) {
        Fail(argv[i - 1] + std::wstring(L" is not ") + (wanted ? L"checked" : L"unchecked"));
      }
    } else if (step == L"log") {
      for (const std::wstring& line : LogLines()) std::fwprintf(stdout, L"%ls\n", line.c_str());
    } else if (step == L"rect" || step == L"frame") {
      RECT rect;
      if (step == L"rect") {
        GetClientRect(form, &rect);
        MapWindowPoints(form, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
      } else {
        GetWindowRect(form, &rect);
      }
      std::fwprintf(stdout, L"%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top,
                    rect.left, rect.top);
    } else if (step == L"close") {
      PostMessageW(form, WM_CLOSE, 0, 0);
    } else if (step == L"sleep") {
      Sleep(static_cast<DWORD>(std::stoi(next())));
    } else {
      Fail(L"unknown step " + step);
      return 100;
    }
    std::fflush(stdout);
  }
  return failures;
}
