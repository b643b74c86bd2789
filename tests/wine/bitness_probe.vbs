' What a script host of one bitness can create: quillvane.CashDrawer and the
' control object stand-in, which opens device QvSide through the service
' object of the same bitness (no drawer on the bus: Open gives 106 and
' OpenResult 401). Arguments: the host's expected PROCESSOR_ARCHITECTURE (x86
' or AMD64), then "present" (both are created and answer) or "absent"
' (neither can be created, error 429). The exit code is the number of failed
' checks.
Option Explicit
On Error Resume Next

Dim arch, mode, failures, cd, co, r
arch = WScript.Arguments(0)
mode = WScript.Arguments(1)
failures = 0

Sub Expect(condition, what)
  If Not condition Then
    WScript.Echo "FAIL (" & arch & ", " & mode & "): " & what
    failures = failures + 1
  End If
End Sub

Expect CreateObject("WScript.Shell").ExpandEnvironmentStrings("%PROCESSOR_ARCHITECTURE%") = arch, _
  "the script host is not " & arch

Set cd = CreateObject("quillvane.CashDrawer")
If mode = "present" Then
  Expect Err.Number = 0, "quillvane.CashDrawer cannot be created: error " & Err.Number
  Err.Clear
  Set co = CreateObject("quillvane.ControlObject")
  Expect Err.Number = 0, "quillvane.ControlObject cannot be created: error " & Err.Number
  Err.Clear
  r = -1 : r = co.Open("QvSide")
  Expect Err.Number = 0 And r = 106, "Open gives 106, got " & r & " (error " & Err.Number & ")"
  Err.Clear
  r = -1 : r = co.OpenResult
  Expect Err.Number = 0 And r = 401, "OpenResult gives 401, got " & r & " (error " & Err.Number & ")"
  Err.Clear
  co.Close
  Set co = Nothing
Else
  Expect Err.Number = 429, "quillvane.CashDrawer: expected error 429, got " & Err.Number
  Err.Clear
  Set co = CreateObject("quillvane.ControlObject")
  Expect Err.Number = 429, "quillvane.ControlObject: expected error 429, got " & Err.Number
  Err.Clear
End If
Set cd = Nothing
WScript.Quit failures
