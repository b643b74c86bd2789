' The installed service object on a device, as an application reaches it:
' created by its ProgID, then opened, claimed, enabled and fired through
' the control object stand-in:
'   cscript //nologo client.vbs <device name>
' Prints one line a step; stops at the first failure.
Option Explicit
On Error Resume Next
Dim so, cd
Set so = CreateObject("quillvane.CashDrawer")
If Err.Number <> 0 Then
  WScript.Echo "CreateObject quillvane.CashDrawer failed: " & Hex(Err.Number)
  WScript.Quit 1
End If
WScript.Echo "service object " & TypeName(so)
Set so = Nothing
Set cd = CreateObject("quillvane.ControlObject")
If Err.Number <> 0 Then
  WScript.Echo "CreateObject quillvane.ControlObject failed: " & Hex(Err.Number)
  WScript.Quit 1
End If
WScript.Echo "Open " & cd.Open(WScript.Arguments(0))
WScript.Echo "ClaimDevice " & cd.ClaimDevice(1000)
cd.DeviceEnabled = True
WScript.Echo "DeviceEnabled " & cd.DeviceEnabled
WScript.Echo "OpenDrawer " & cd.OpenDrawer()
WScript.Echo "Close " & cd.Close()
If Err.Number <> 0 Then
  WScript.Echo "failed: " & Hex(Err.Number) & " " & Err.Description
  WScript.Quit 1
End If
