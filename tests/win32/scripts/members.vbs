' What a VBScript client does with the control, run by cscript: every member with literals and
' with variables, the outputs received in variables, a failure raised, a wrong type refused.
' Prints one line per check and, when all held, "script: all passed".
Option Explicit
Dim failures : failures = 0
Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok   " & what
  Else
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

Dim c : Set c = CreateObject("vx58420Cal.Cal")
Check c.Caption = "Supercapacitor Calibration", "Caption is " & c.Caption

c.TargetAddress = 22
Check c.TargetAddress = 22, "TargetAddress from a literal"
Dim a : a = 23
c.TargetAddress = a
Check c.TargetAddress = 23 And a = 23, "TargetAddress from a variable"
Dim m : m = 68
c.DVMAC = 68
c.DVMAC = m
Check m = 68, "DVMAC from a literal and a variable"
Dim s : s = "800.1.02"
c.TargetInfo = "800.1.02"
c.TargetInfo = s
Check s = "800.1.02", "TargetInfo from a literal and a variable"

Dim d, v
Check c.GetConfigSection(s, d, v), "GetConfigSection finds the sections"
Check d = "800" And v = "800_1_02", "GetConfigSection's outputs: " & d & " " & v

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim ini : ini = fso.BuildPath(fso.GetSpecialFolder(2), "vx58420-script.ini")
Dim f : Set f = fso.CreateTextFile(ini, True)
f.WriteLine "[800]"
f.WriteLine "Both=6"
f.WriteLine "[800_1_02]"
f.WriteLine "Both=7"
f.WriteLine "[D800]"
f.WriteLine "OnlyD=9"
f.Close
Dim k : k = "Both"
Check c.ReadGGIniWithOverride(s, k, 42, ini) = 7, "ReadGGIniWithOverride with variables"
Dim def : def = 42
k = "Nope"
Check c.ReadGGIniWithOverride(s, k, def, ini) = 42 And def = 42, "ReadGGIniWithOverride's default"
k = "OnlyD"
Check c.ReadGGIniWithOverride(s, k, def, ini) = 42, "ReadGGIniWithOverride reads no D section"
fso.DeleteFile ini

On Error Resume Next
Dim n : n = c.ReadNumberofConfiguredCapacitors()
Check Err.Number <> 0 And InStr(Err.Description, "Object variable not set") = 1, _
      "a failure is raised: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
a = "abc"
c.TargetAddress = a
Check Err.Number = 13 And Err.Description = "Type mismatch", _
      "a wrong type is refused: " & Err.Number & " " & Err.Description
Err.Clear
c.TargetAddress = 70000
Check Err.Number <> 0, "a number past 16 bits is refused: " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0
Check c.TargetAddress = 23, "the address stays after the refusals"

If failures = 0 Then WScript.Echo "script: all passed"
WScript.Quit failures
