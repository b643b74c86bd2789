' Drives quillvane.CashDrawer the way a script client does: late-bound,
' positional arguments, variables passed by reference. Every call is checked
' through Err; the exit code is the number of failed checks. An argument, x86
' or AMD64, names the bitness the script host must have.
Option Explicit
On Error Resume Next

Const kCategory = "HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\"
Dim failures, lastErr, lastDescription
failures = 0

' Takes the error state of the statement just run and clears it.
Sub Took()
  lastErr = Err.Number
  lastDescription = Err.Description
  Err.Clear
End Sub

Sub Expect(condition, what)
  If Not condition Then
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

Sub ExpectNoError(what)
  Expect lastErr = 0, what & " raised " & lastErr & " (" & lastDescription & ")"
End Sub

Sub ExpectError(number, what)
  Expect lastErr = number, what & ": expected error " & number & ", got " & lastErr
  If number <> 0 Then Expect Len(lastDescription) > 0, what & ": error without description"
End Sub

' A stand-in for the control object: the service object may call it by name.
Class ControlStandIn
  Public Updates
  Public Sub SOStatusUpdate(data)
    Updates = Updates & data & ";"
  End Sub
End Class

Dim cd, control, r, data, text, other, shell
Set control = New ControlStandIn
Set shell = CreateObject("WScript.Shell")

' The script host of the bitness asked for (x86 or AMD64), when one is.
If WScript.Arguments.Count > 0 Then
  Expect shell.ExpandEnvironmentStrings("%PROCESSOR_ARCHITECTURE%") = WScript.Arguments(0), _
    "the script host is " & WScript.Arguments(0)
End If

Set cd = CreateObject("quillvane.CashDrawer") : Took
ExpectNoError "CreateObject"
If lastErr <> 0 Then WScript.Quit 100

' Open without a drawer on the bus.
r = -1 : r = cd.OpenService("CashDrawer", "QvTest", control) : Took
ExpectNoError "OpenService"
Expect r = 106, "OpenService without a drawer gives 106, got " & r
r = -1 : r = cd.GetOpenResult() : Took
ExpectNoError "GetOpenResult"
Expect r = 401, "GetOpenResult gives 401, got " & r

' A claim after an open that found no drawer fails with error 9, result 0,
' and leaves the claim flag clear.
r = -1 : r = cd.ClaimDevice(1000) : Took
ExpectError 9, "ClaimDevice after a failed open"
Expect r = -1, "a failed call assigns nothing"
r = -1 : r = cd.GetPropertyNumber(1) : Took
ExpectNoError "GetPropertyNumber(Claimed)"
Expect r = 0, "Claimed stays false, got " & r
r = -1 : r = cd.CheckHealth(1) : Took
ExpectError 9, "CheckHealth(1) without a drawer"
r = -1 : r = cd.CheckHealth(0) : Took
ExpectNoError "CheckHealth(0)"
Expect r = 0, "CheckHealth(0) gives 0, got " & r
r = -1 : r = cd.CheckHealth(4) : Took
Expect r = 0, "CheckHealth(4) gives 0, got " & r
r = -1 : r = cd.OpenDrawer() : Took
ExpectNoError "OpenDrawer"
Expect r = 106, "OpenDrawer while disabled gives 106, got " & r
cd.SetPropertyNumber 3, 1 : Took
ExpectError 9, "enabling without a drawer"
r = -1 : r = cd.GetPropertyNumber(3) : Took
Expect r = 0, "DeviceEnabled stays false, got " & r
r = -1 : r = cd.GetPropertyNumber(1001) : Took
ExpectError 9, "DrawerOpened without a drawer"
r = -1 : r = cd.GetPropertyNumber(1501) : Took
Expect r = -1, "CapStatus is -1, got " & r

' By-reference arguments that the method leaves alone keep value and type.
data = 42 : text = "hello"
r = -1 : r = cd.DirectIO(7, data, text) : Took
ExpectNoError "DirectIO"
Expect r = 106, "DirectIO gives 106, got " & r
Expect data = 42 And TypeName(data) = "Integer", "DirectIO left pData " & TypeName(data) & " " & data
Expect text = "hello" And TypeName(text) = "String", "DirectIO left pString " & text
data = "123" : text = 5
r = -1 : r = cd.DirectIO(0, data, text) : Took
ExpectNoError "DirectIO with convertible types"
Expect data = "123" And TypeName(data) = "String", "pData keeps its string " & TypeName(data)
Expect text = 5 And TypeName(text) = "Integer", "pString keeps its number " & TypeName(text)
data = "not a number"
r = -1 : r = cd.DirectIO(0, data, text) : Took
ExpectError 13, "DirectIO with a pData that is no number"
r = -1 : r = cd.DirectIO(0, CLng(1), "literal") : Took
ExpectNoError "DirectIO with values"

' No-result methods.
cd.SetPropertyString 1000002, "ignored" : Took
ExpectNoError "SetPropertyString"
cd.SetPropertyNumber 4, 1 : Took
ExpectNoError "SetPropertyNumber(FreezeEvents, 1)"
Expect cd.GetPropertyNumber(4) = -1, "FreezeEvents set by 1"
cd.SetPropertyNumber 4, -1 : Took
Expect cd.GetPropertyNumber(4) = 0, "SetPropertyNumber(4, -1) unfreezes"
r = -1 : r = cd.COFreezeEvents(True) : Took
ExpectNoError "COFreezeEvents(True)"
Expect r = 0 And cd.GetPropertyNumber(4) = -1, "COFreezeEvents(True) freezes"
r = -1 : r = cd.COFreezeEvents(False) : Took
Expect r = 0 And cd.GetPropertyNumber(4) = 0, "COFreezeEvents(False) unfreezes"
Took

' Registry strings, read at every request.
Expect cd.GetPropertyString(1000001) = "Normal", "CheckHealthText"
Expect cd.GetPropertyString(1000002) = "Test drawer", "DeviceDescription"
Expect cd.GetPropertyString(1000003) = "QV-1", "DeviceName"
Expect cd.GetPropertyString(1000004) = "quillvane test service", "ServiceObjectDescription"
Expect cd.GetPropertyString(5) = "", "an unknown string index"
Expect cd.GetPropertyNumber(8) = 1002001, "ServiceObjectVersion from REG_SZ"
Took
ExpectNoError "property reads"

shell.RegWrite kCategory & "QvTest\Description", "Changed drawer", "REG_SZ"
shell.RegWrite kCategory & "QvTest\Version", "1002002", "REG_SZ"
Took
ExpectNoError "RegWrite"
Expect cd.GetPropertyString(1000002) = "Changed drawer", "a changed Description shows at once"
Expect cd.GetPropertyNumber(8) = 1002002, "a changed Version shows at once"
shell.RegWrite kCategory & "QvTest\Description", "Test drawer", "REG_SZ"
shell.RegWrite kCategory & "QvTest\Version", "1002001", "REG_SZ"
Took

' Values of other registry types.
Set other = CreateObject("quillvane.CashDrawer")
r = other.OpenService("CashDrawer", "QvTypes", control) : Took
Expect r = 106, "OpenService(QvTypes) gives 106"
Expect other.GetPropertyNumber(8) = 7, "ServiceObjectVersion from REG_DWORD"
Expect other.GetPropertyString(1000002) = "", "a REG_EXPAND_SZ description reads empty"
Expect other.GetPropertyString(1000003) = "AB", "a REG_SZ name stops at its first NUL"
Took
ExpectNoError "reads of QvTypes"
r = -1 : r = other.OpenService("CashDrawer", "QvNoVersion", control) : Took
r = -1 : r = other.GetPropertyNumber(8) : Took
ExpectError 13, "ServiceObjectVersion with no Version value"
r = -1 : r = other.GetPropertyNumber(2) : Took
ExpectNoError "GetPropertyNumber(2) with no Version value"
Expect r = 0, "an unknown number index gives 0"

' Two objects are independent.
other.SetPropertyNumber 4, 1
Expect other.GetPropertyNumber(4) = -1 And cd.GetPropertyNumber(4) = 0, "FreezeEvents is per object"
Expect cd.GetPropertyString(1000003) = "QV-1", "the first object still reads its own device"
Took

r = -1 : r = cd.ReleaseDevice() : Took
Expect r = 0, "ReleaseDevice gives 0, got " & r
r = -1 : r = cd.CloseService() : Took
ExpectNoError "CloseService"
Expect r = 0, "CloseService gives 0, got " & r
r = other.CloseService() : Took

' Names the interface does not have.
r = cd.NoSuchMethod() : Took
ExpectError 438, "an unknown method"
Set r = CreateObject("quillvane.CLiteTimer") : Took
Expect lastErr <> 0, "the timer class cannot be created"

Expect control.Updates = "", "no status update without a drawer: " & control.Updates
Set cd = Nothing
Set other = Nothing

If failures = 0 Then WScript.Echo "automation client: all checks passed"
WScript.Quit failures
