' A tour of Vantorelix.Utils from VBScript: every method, called as a script would.
' Run it with the README's first command, or by hand after regsvr32:  cscript //nologo tour.vbs
Option Explicit
Dim u : Set u = CreateObject("Vantorelix.Utils")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")

Sub Show(label, value)
  WScript.Echo label & " = [" & Replace(Replace(value, vbCr, "\r"), vbLf, "\n") & "]"
End Sub

Function Join3(a)
  Join3 = a(0) & " | " & a(1) & " | " & a(2)
End Function

WScript.Echo "-- timing and sound"
Dim t0 : t0 = u.getTickCount()
u.sleep 50
Show "getTickCount() after sleep 50, difference", CDbl(u.getTickCount()) - CDbl(t0)
Show "beep()", u.beep()
Show "msgBeep(&H40)", u.msgBeep(&H40)
Show "sndPlaySound(""SystemAsterisk"", 1)", u.sndPlaySound("SystemAsterisk", 1)
Show "sndPlaySound()", u.sndPlaySound()

WScript.Echo "-- desktop work area and system colours"
Show "getDesktopAvailRectStr()", u.getDesktopAvailRectStr()
Show "getDesktopAvailRectStr(1)", u.getDesktopAvailRectStr(1)
Dim r : r = u.getDesktopAvailRectArray()
Show "getDesktopAvailRectArray()", r(0) & "," & r(1) & "," & r(2) & "," & r(3)
Dim window : window = u.getSysColor(5)
Show "getSysColor(5) (window background, &HRRGGBB)", Hex(window)
Show "setSysColor(Array(5), Array(&H336699))", u.setSysColor(Array(5), Array(&H336699))
Show "getSysColor(5) now", Hex(u.getSysColor(5))
Show "setSysColor back", u.setSysColor(Array(5), Array(CLng(window)))

WScript.Echo "-- COM identifiers and registration"
Show "genGUID()", u.genGUID()
Dim clsid : clsid = u.progIDToClsid("Vantorelix.Utils")
Show "progIDToClsid(""Vantorelix.Utils"")", clsid
Show "clsidToProgID(that)", u.clsidToProgID(clsid)
' The registration messages are Japanese; the console shows their ASCII tail, the error code.
Show "regsvr(""missing.dll""): code at the end", Right(u.regsvr("missing.dll"), 3)
Show "regsvr_u(""missing.dll""): code at the end", Right(u.regsvr_u("missing.dll"), 3)

WScript.Echo "-- system error texts"
Show "getErrMsg(2)", u.getErrMsg(2)
Show "getErrMsg(5)", u.getErrMsg(5)

WScript.Echo "-- paths"
Dim dir : dir = fso.GetSpecialFolder(2) & "\Vantorelix tour"
If Not fso.FolderExists(dir) Then fso.CreateFolder dir
Dim file : file = dir & "\A long file name.txt"
fso.CreateTextFile(file, True).Close
Show "getMaxPath()", u.getMaxPath()
Show "getShortPath(file)", u.getShortPath(file)
Show "getLongPath(getShortPath(file))", u.getLongPath(u.getShortPath(file))
Show "getFullPathName(""a\b.txt"")", u.getFullPathName("a\b.txt")
Show "expandFileName(""a\b.txt"")", u.expandFileName("a\b.txt")
Show "pathRelPathTo(""C:\a\b"", True, ""C:\a\c\d.txt"")", u.pathRelPathTo("C:\a\b", True, "C:\a\c\d.txt")
Show "extractRelPath(""C:\a\b\c.txt"", ""C:\a\d\e.txt"")", u.extractRelPath("C:\a\b\c.txt", "C:\a\d\e.txt")
Dim here : here = u.getCurrentDir()
Show "getCurrentDir()", here
Show "setCurrentDir(dir)", u.setCurrentDir(dir)
Show "getCurrentDir() now", u.getCurrentDir()
u.setCurrentDir here

WScript.Echo "-- file timestamps"
Show "getFileTime(file)", Join3(u.getFileTime(file))
Show "setFileTime(file, , , Array(2024, 3, 5, 7, 8, 9))", u.setFileTime(file, , , Array(2024, 3, 5, 7, 8, 9))
Show "setFileTimeOne(file, ""a"", 2023, 12, 31, 23, 59, 59)", u.setFileTimeOne(file, "a", 2023, 12, 31, 23, 59, 59)
Show "getFileTime(file)", Join3(u.getFileTime(file))
Show "setFileTime(file) with no time: a message, length", Len(u.setFileTime(file))
fso.DeleteFile file
fso.DeleteFolder dir
