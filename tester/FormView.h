// The window as the command logic drives it. The Win32 window implements it
// over its controls; the native tests give a fake that records.
#pragma once

#include <string>

#include "tester/Layout.h"

namespace brindlemark {

class FormView {
 public:
  virtual ~FormView() = default;
  // Check boxes and option buttons.
  virtual void SetChecked(ControlId lngId, bool blnChecked) = 0;
  virtual bool IsChecked(ControlId lngId) const = 0;
  // Text boxes and the text of OpenName.
  virtual void SetText(ControlId lngId, const std::u16string& strText) = 0;
  virtual std::u16string GetText(ControlId lngId) const = 0;
  virtual void EnableControl(ControlId lngId, bool blnEnabled) = 0;
  // OpenName's list: emptied together with its text, items appended in order.
  virtual void ClearOpenName() = 0;
  virtual void AddOpenNameItem(const std::u16string& strName) = 0;
  // Appends one line at the end of List1.
  virtual void AppendLogLine(const std::u16string& strLine) = 0;
};

}  // namespace brindlemark
