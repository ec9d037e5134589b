' Late-bound call cost from VBScript: loops of calls to Vantorelix.Utils, to the floor object
' (Vantorelix.BenchFloor: the least an IDispatch object can do) and to Wine's
' Scripting.FileSystemObject GetFileName, each net of an empty loop timed in the same round.
'   cscript //nologo calls.vbs [iterations] [rounds]
' Prints one line per measurement: "vbs <name> <round> <ns per call>"; call_cost reads them.
Option Explicit
' Wine's VBScript finds a script-level variable on every use by going through the variables in
' the order they were declared, so each variable declared before a name makes every use of it
' dearer (measured by CPU time: some 110 ns per variable and use on i686, 55 ns on x86_64).
' The loops therefore use only the variables declared first, and call every object through the
' same one, `o`: an object held in a variable of its own declared later would pay for the
' variables before it on every call.
Dim i, x, o
Dim n : n = 200000
Dim rounds : rounds = 5
If WScript.Arguments.Count > 0 Then n = CLng(WScript.Arguments(0))
If WScript.Arguments.Count > 1 Then rounds = CLng(WScript.Arguments(1))
Dim u : Set u = CreateObject("Vantorelix.Utils")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim floor : Set floor = CreateObject("Vantorelix.BenchFloor")
Dim winIni : winIni = CreateObject("WScript.Shell").ExpandEnvironmentStrings("%SystemRoot%") & "\win.ini"
Dim t, emptyLoop, r, m

' ns per call of a loop of `count` iterations that took `elapsed` seconds.
Function Cost(elapsed, count)
  Cost = (elapsed - emptyLoop * count / n) / count * 1e9
End Function

Sub Report(name, value)
  WScript.Echo "vbs " & name & " " & r & " " & Replace(CStr(Round(value, 1)), ",", ".")
End Sub

For r = 1 To rounds
  t = Timer() : For i = 1 To n : Next : emptyLoop = Timer() - t
  Set o = floor
  t = Timer() : For i = 1 To n : x = o.getMaxPath() : Next : Report "floor", Cost(Timer() - t, n)
  Set o = fso
  t = Timer() : For i = 1 To n : x = o.GetFileName("C:\dir\file.txt") : Next : Report "FSO.GetFileName", Cost(Timer() - t, n)
  Set o = u
  t = Timer() : For i = 1 To n : x = o.getMaxPath() : Next : Report "getMaxPath", Cost(Timer() - t, n)
  t = Timer() : For i = 1 To n : x = o.getTickCount() : Next : Report "getTickCount", Cost(Timer() - t, n)
  t = Timer() : For i = 1 To n : x = o.getErrMsg(2) : Next : Report "getErrMsg(2)", Cost(Timer() - t, n)
  m = n \ 10
  t = Timer() : For i = 1 To m : x = o.getFullPathName("a\b.txt") : Next : Report "getFullPathName", Cost(Timer() - t, m)
  t = Timer() : For i = 1 To m : x = o.getCurrentDir() : Next : Report "getCurrentDir", Cost(Timer() - t, m)
  m = n \ 100
  t = Timer() : For i = 1 To m : x = o.getFileTime(winIni) : Next : Report "getFileTime", Cost(Timer() - t, m)
Next
