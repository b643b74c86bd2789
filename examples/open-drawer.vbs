' Opens a cash drawer through the control object, fires it, waits until it
' is shut and prints each result:
'   cscript //nologo open-drawer.vbs [device name]   (VirtualDrawer if none)
Option Explicit
Dim device, cd, result
device = "VirtualDrawer"
If WScript.Arguments.Count > 0 Then device = WScript.Arguments(0)

Set cd = CreateObject("quillvane.ControlObject")
result = cd.Open(device)
WScript.Echo "Open = " & result
WScript.Echo "OpenResult = " & cd.OpenResult
If result = 0 Then
  WScript.Echo "ClaimDevice = " & cd.ClaimDevice(1000)
  cd.DeviceEnabled = True
  WScript.Echo "DeviceEnabled = " & cd.DeviceEnabled
  WScript.Echo "OpenDrawer = " & cd.OpenDrawer()
  ' Beeps every second once the drawer has been open for 10 s.
  WScript.Echo "WaitForDrawerClose = " & cd.WaitForDrawerClose(10000, 500, 100, 1000)
  WScript.Echo "DrawerOpened = " & cd.DrawerOpened
  WScript.Echo "Close = " & cd.Close()
End If
