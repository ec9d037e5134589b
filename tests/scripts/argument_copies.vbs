' setSysColor and setFileTime receive their array arguments by value, and VBScript passes its
' variables to them as references. An object's default property runs the script's code while
' the method converts the elements; when that code changes the variables, the method still
' uses the values as they were when the call began. Every colour changed here is put back.
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

Dim env : Set env = CreateObject("WScript.Shell").Environment("PROCESS")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim u : Set u = CreateObject("Vantorelix.Utils")

' The variables that the calls below are given, and that the default property changes.
Dim first, second

' Its default property gives `value` and, on the way, changes first and second: in place
' (element 1 of each) or by giving them new arrays.
Class Meddler
  Public reads
  Public result
  Public replaces
  Private Sub Class_Initialize
    reads = 0
  End Sub
  Public Default Property Get Number
    reads = reads + 1
    If replaces Then
      first = Array(3, 4)
      second = Array(&H330000, Null)
    Else
      first(1) = 3
      second(1) = Null
    End If
    Number = result
  End Property
End Class

Function NewMeddler(value, replaces)
  Dim m : Set m = New Meddler
  m.result = value
  m.replaces = replaces
  Set NewMeddler = m
End Function

Dim i, saved(4)
For i = 0 To 4
  saved(i) = CLng(u.getSysColor(i))
Next

Dim m, ok, number, description, replaces, how, t

' setSysColor: the index of colour 2 becomes 3 and its colour Null during the call.
For Each replaces In Array(False, True)
  If replaces Then how = "variables replaced: " Else how = "elements changed: "
  u.setSysColor Array(1, 2, 3, 4), Array(1, 2, 3, 4)
  Set m = NewMeddler(1, replaces)
  first = Array(m, 2)
  second = Array(&H110000, &H220000)
  On Error Resume Next
  ok = u.setSysColor(first, second)
  number = Err.Number : description = Err.Description
  On Error GoTo 0
  Check how & "no error (" & description & ")", number = 0
  Check how & "true", ok = True
  Check how & "the default property ran during the call", m.reads = 1
  Check how & "the caller's variables did change", IsNull(second(1)) And (first(0) = 3 Or first(1) = 3)
  Check how & "colour 1", CLng(u.getSysColor(1)) = &H110000
  Check how & "colour 2 as named when the call began", CLng(u.getSysColor(2)) = &H220000
  Check how & "colour 3 untouched", CLng(u.getSysColor(3)) = 3
  Check how & "colour 4 untouched", CLng(u.getSysColor(4)) = 4
Next

' setFileTime: during the call the month of the access time becomes 3 and that of the write
' time Null (which would make the write time not given), or both get new arrays.
Dim path : path = env("VANTORELIX_TEMP") & "\argcopies-" & env("VANTORELIX_LOCALE") & ".txt"
fso.CreateTextFile(path, True).Close
For Each replaces In Array(False, True)
  If replaces Then how = "setFileTime, variables replaced: " Else how = "setFileTime, elements changed: "
  Check how & "times before", u.setFileTimeOne(path, "aw", 2011, 11, 11, 11, 11, 11) = ""
  Set m = NewMeddler(2020, replaces)
  first = Array(m, 5, 6)
  second = Array(2019, 7, 8, 9)
  On Error Resume Next
  description = u.setFileTime(path, , first, second)
  number = Err.Number
  On Error GoTo 0
  Check how & "no error", number = 0
  Check how & "success (" & description & ")", description = ""
  Check how & "the default property ran during the call", m.reads = 1
  t = u.getFileTime(path)
  Check how & "access time as given when the call began (" & t(1) & ")", t(1) = "2020/5/6 00:00:00"
  Check how & "write time as given when the call began (" & t(2) & ")", t(2) = "2019/7/8 09:00:00"
Next
fso.DeleteFile path

' Put the colours back.
Check "restored", u.setSysColor(Array(0, 1, 2, 3, 4), saved) = True
Dim same : same = True
For i = 0 To 4
  If CLng(u.getSysColor(i)) <> saved(i) Then same = False
Next
Check "every colour as it was", same

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
