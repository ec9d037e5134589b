' The work area and the system colours from VBScript. Colours are read back through
' getSysColor; every colour changed here is put back at the end.
'
' Check (and UnderWine, in the scripts that need it) is copied into every script test word
' for word: cscript includes another file only in a .wsf job (<script src="...">), which
' Wine's cscript (8.0) does not run ("Could not find engine for .wsf"), and Wine's VBScript
' does not run a file's text through ExecuteGlobal either (a stub there). Change every copy
' alike.
Option Explicit
Dim passed, failed : passed = 0 : failed = 0
Sub Check(name, ok)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & name
  End If
End Sub

Dim u : Set u = CreateObject("Vantorelix.Utils")

' The work area: the array and both text forms agree.
Dim a : a = u.getDesktopAvailRectArray()
Check "the work area is an array", IsArray(a)
Check "bounds 0 to 3", LBound(a) = 0 And UBound(a) = 3
Dim i, allLong : allLong = True
For i = 0 To 3
  If VarType(a(i)) <> vbLong Then allLong = False
Next
Check "every element is a Long", allLong
Dim comma : comma = a(0) & "," & a(1) & "," & a(2) & "," & a(3)
Dim literal : literal = "({left:" & a(0) & ",top:" & a(1) & ",right:" & a(2) & ",bottom:" & a(3) & "})"
Check "default form (" & u.getDesktopAvailRectStr() & ")", u.getDesktopAvailRectStr() = comma
Check "flag 0", u.getDesktopAvailRectStr(0) = comma
Check "flag 1 (" & u.getDesktopAvailRectStr(1) & ")", u.getDesktopAvailRectStr(1) = literal
Check "flag -1", u.getDesktopAvailRectStr(-1) = literal
Check "the area is not empty", a(2) > a(0) And a(3) > a(1)

' Save the colours that the cases below change.
Dim saved(6)
For i = 0 To 6
  saved(i) = CLng(u.getSysColor(i))
Next

WScript.Echo "vartype: getSysColor " & VarType(u.getSysColor(5))
Check "getSysColor is unsigned", VarType(u.getSysColor(5)) = 19
Check "setSysColor (5)/(&HFF0000)", u.setSysColor(Array(5), Array(&HFF0000)) = True
Check "reads back as &HFF0000", CLng(u.getSysColor(5)) = &HFF0000
Check "colour -1", u.setSysColor(Array(5), Array(-1)) = True And CLng(u.getSysColor(5)) = &HFFFFFF
Check "the top byte is dropped", u.setSysColor(Array(5), Array(&H12345678)) = True And CLng(u.getSysColor(5)) = &H345678
Check "a double colour", u.setSysColor(Array(5), Array(16711680.0)) = True And CLng(u.getSysColor(5)) = &HFF0000
Check "a text colour", u.setSysColor(Array(5), Array("255")) = True And CLng(u.getSysColor(5)) = 255

' The shorter array decides.
u.setSysColor Array(1, 2, 3, 4), Array(0, 0, 0, 0)
Check "lengths 3 and 5", u.setSysColor(Array(1, 2, 3), Array(&H10, &H20, &H30, &H40, &H50)) = True
Check "three changed", CLng(u.getSysColor(1)) = &H10 And CLng(u.getSysColor(2)) = &H20 And CLng(u.getSysColor(3)) = &H30
Check "the fourth did not", CLng(u.getSysColor(4)) = 0
Check "lengths 5 and 3", u.setSysColor(Array(1, 2, 3, 4, 6), Array(&H11, &H22, &H33)) = True And CLng(u.getSysColor(4)) = 0
' Zero elements go to the platform, which accepts an empty change.
Dim r : r = u.setSysColor(Array(), Array())
Check "empty arrays give a Boolean", TypeName(r) = "Boolean"
Check "empty arrays: the platform's answer", r = True

' No arrays: false, nothing changed.
u.setSysColor Array(5), Array(&H0A0B0C)
Check "a number", u.setSysColor(5, Array(1)) = False
Check "a string", u.setSysColor(Array(5), "1") = False
Check "Empty", u.setSysColor(Empty, Empty) = False
Check "Null", u.setSysColor(Null, Array(1)) = False
Check "nothing changed", CLng(u.getSysColor(5)) = &H0A0B0C

' Indices "5", 4.5 and True are 5, 4 and -1.
Check "converted indices", u.setSysColor(Array("5", 4.5, True), Array(&H111111, &H222222, &H333333)) = True
Check "index 5", CLng(u.getSysColor(5)) = &H111111
Check "index 4 from 4.5", CLng(u.getSysColor(4)) = &H222222

' A Null colour at position 2: the conversion error, and nothing changed.
u.setSysColor Array(1, 2, 3), Array(1, 2, 3)
Dim number, description, source
On Error Resume Next
r = u.setSysColor(Array(1, 2, 3), Array(&HAA, &HBB, Null))
number = Err.Number : description = Err.Description : source = Err.Source
On Error GoTo 0
Check "Err.Number is E_UNEXPECTED (" & number & ")", number = -2147418113
Check "Err.Source (" & source & ")", source = "Vantorelix.Utils"
Check "the 33-character conversion message", Len(description) = 33 And Left(description, 4) = "Null" And InStr(description, " Integer ") = 8
Check "no colour changed", CLng(u.getSysColor(1)) = 1 And CLng(u.getSysColor(2)) = 2 And CLng(u.getSysColor(3)) = 3

' An array variable never given a size.
Dim never()
On Error Resume Next
r = u.setSysColor(never, Array(1))
number = Err.Number : description = Err.Description
On Error GoTo 0
Check "an array without array raises E_UNEXPECTED", number = -2147418113
Check "with the 12-character message", Len(description) = 12

' Put the colours back.
Check "restored", u.setSysColor(Array(0, 1, 2, 3, 4, 5, 6), saved) = True
Dim same : same = True
For i = 0 To 6
  If CLng(u.getSysColor(i)) <> saved(i) Then same = False
Next
Check "every colour as it was", same

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
