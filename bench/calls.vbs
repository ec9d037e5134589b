' Late-bound call cost from VBScript: a loop of calls to Vantorelix.Utils against the same loop
' over Wine's Scripting.FileSystemObject GetFileName, net of the empty loop.
'   cscript //nologo calls.vbs [iterations]
Option Explicit
Dim n : n = 200000
If WScript.Arguments.Count > 0 Then n = CLng(WScript.Arguments(0))
Dim u : Set u = CreateObject("Vantorelix.Utils")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim i, t, x, emptyLoop

Function Seconds()
  Seconds = Timer()
End Function

t = Seconds() : For i = 1 To n : Next : emptyLoop = Seconds() - t

Function Cost(elapsed)
  Cost = (elapsed - emptyLoop) / n * 1000000
End Function

Dim fsoCost, c
t = Seconds() : For i = 1 To n : x = fso.GetFileName("C:\dir\file.txt") : Next
fsoCost = Cost(Seconds() - t)
WScript.Echo "iterations: " & n & "; empty loop " & FormatNumber(emptyLoop / n * 1000000, 3) & " us/iteration"
WScript.Echo "FileSystemObject.GetFileName: " & FormatNumber(fsoCost, 3) & " us/call"

On Error Resume Next
x = u.getMaxPath()
Dim haveMaxPath : haveMaxPath = (Err.Number = 0)
On Error GoTo 0
If haveMaxPath Then
  t = Seconds() : For i = 1 To n : x = u.getMaxPath() : Next
  c = Cost(Seconds() - t)
  WScript.Echo "getMaxPath: " & FormatNumber(c, 3) & " us/call, ratio to GetFileName " & FormatNumber(c / fsoCost, 2)
End If
t = Seconds() : For i = 1 To n : x = u.getTickCount() : Next
c = Cost(Seconds() - t)
WScript.Echo "getTickCount: " & FormatNumber(c, 3) & " us/call, ratio to GetFileName " & FormatNumber(c / fsoCost, 2)
t = Seconds() : For i = 1 To n : x = u.getErrMsg(2) : Next
c = Cost(Seconds() - t)
WScript.Echo "getErrMsg(2): " & FormatNumber(c, 3) & " us/call, ratio to GetFileName " & FormatNumber(c / fsoCost, 2)
