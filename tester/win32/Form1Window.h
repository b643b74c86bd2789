// Form1 as a Win32 window: the controls of the layout table, positioned in
// twips at 15 twips a pixel, in the dialog font, and the window's half of the
// command logic (FormView). Clicks of buttons and boxes go to Form1.
#pragma once

#include <memory>
#include <type_traits>

#include "tester/Form1.h"
#include "tester/FormView.h"
#include "win32kit/WinHeaders.h"

namespace brindlemark::win32 {

class Form1Window : public FormView {
 public:
  explicit Form1Window(HINSTANCE hInstance);
  ~Form1Window() override;
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  // Creates the window and its controls, hidden. False when Windows refuses.
  bool Create();
  // Connects the command logic that clicks go to (owned by the caller).
  void Attach(Form1* objForm) { mobjForm = objForm; }
  void Show(int lngShowCommand);
  HWND Handle() const { return mhWnd; }

  void SetChecked(ControlId lngId, bool blnChecked) override;
  bool IsChecked(ControlId lngId) const override;
  void SetText(ControlId lngId, const std::u16string& strText) override;
  std::u16string GetText(ControlId lngId) const override;
  void EnableControl(ControlId lngId, bool blnEnabled) override;
  void ClearOpenName() override;
  void AddOpenNameItem(const std::u16string& strName) override;
  void AppendLogLine(const std::u16string& strLine) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT lngMessage, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT lngMessage, WPARAM wParam, LPARAM lParam);
  void CreateControl(const ControlLayout& objControl);
  void OnCommand(ControlId lngId, WORD lngNotification);
  HWND Control(ControlId lngId) const { return GetDlgItem(mhWnd, static_cast<int>(lngId)); }

  struct FontDeleter {
    void operator()(HFONT hFont) const { DeleteObject(hFont); }
  };

  HINSTANCE mhInstance;
  HWND mhWnd = nullptr;
  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> mhFont;
  Form1* mobjForm = nullptr;
};

}  // namespace brindlemark::win32
