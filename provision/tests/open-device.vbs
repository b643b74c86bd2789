' Opens a device through the control object and prints the open result and
' what the service object reads from the device's values:
'   cscript //nologo open-device.vbs <device name>
Option Explicit
Dim cd
Set cd = CreateObject("quillvane.ControlObject")
WScript.Echo "Open = " & cd.Open(WScript.Arguments(0))
WScript.Echo "OpenResult = " & cd.OpenResult
WScript.Echo "ServiceObjectDescription = " & cd.ServiceObjectDescription
WScript.Echo "ServiceObjectVersion = " & cd.ServiceObjectVersion
WScript.Echo "DeviceDescription = " & cd.DeviceDescription
WScript.Echo "DeviceName = " & cd.DeviceName
WScript.Echo "Close = " & cd.Close()
