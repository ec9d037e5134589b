' The path methods from VBScript, under code page 932 and 1252.
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

' Under Wine some answers are Wine's own: its loader gives every process WINECONFIGDIR, and
' Windows never does. (The same line stands in every script test that needs it.)
Function UnderWine() : UnderWine = CreateObject("WScript.Shell").Environment("PROCESS")("WINECONFIGDIR") <> "" : End Function

Dim env : Set env = CreateObject("WScript.Shell").Environment("PROCESS")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim u : Set u = CreateObject("Vantorelix.Utils")
Dim temp : temp = env("VANTORELIX_TEMP")
Dim saved : saved = u.getCurrentDir()

Sub CheckRel(base, dest, expected)
  Dim r : r = u.extractRelPath(base, dest)
  Check "extractRelPath(" & base & ", " & dest & ") = [" & r & "]", r = expected
End Sub

' The relative-path extraction: the base names a file unless it ends in "\".
CheckRel "C:\a\b\c.txt", "C:\a\d\e.txt", "..\d\e.txt"
CheckRel "C:\a\b\", "C:\a\b\x.txt", "x.txt"
CheckRel "C:\a\b", "C:\a\b\x.txt", "b\x.txt"
CheckRel "C:\a\b\c\", "C:\x.txt", "..\..\..\x.txt"
CheckRel "c:\A\B\", "C:\a\b\x\y.txt", "x\y.txt"
CheckRel "\\srv\share\a\", "\\SRV\share\b\f.txt", "..\b\f.txt"
CheckRel "C:\a\", "C:\a\", ""
CheckRel "a\b\f", "a\c\g", "..\c\g"
CheckRel "", "x\y", "x\y"
CheckRel "C:\a\b\", "D:\x.txt", "D:\x.txt"
Check "extractRelPath result is a String", TypeName(u.extractRelPath("C:\a\", "C:\a\b")) = "String"

Check "getMaxPath is 260", u.getMaxPath() = 260
' The VARTYPE of an int result as this system's ITypeInfo::Invoke gives it, for the log: Wine
' gives VT_I4 (3); a number of either int type is what a script can compute with.
WScript.Echo "vartype: getMaxPath " & VarType(u.getMaxPath())
Check "getMaxPath is a Long or an Integer of the machine's size", VarType(u.getMaxPath()) = 3 Or VarType(u.getMaxPath()) = 22

' The wide methods: empty inputs and missing paths give "".
Check "getLongPath of a missing path is empty", u.getLongPath(temp & "\no such dir\f.txt") = ""
Check "getLongPath of empty is empty", u.getLongPath("") = ""
Check "getShortPath of empty is empty", u.getShortPath("") = ""
Check "getFullPathName of empty is empty", u.getFullPathName("") = ""
Check "setCurrentDir of empty is false", u.setCurrentDir("") = False

' The short form is the platform's own answer, which FileSystemObject gives too; on Windows a
' volume that makes no 8.3 names gives the long path itself. Wine's FileSystemObject has no
' ShortPath, and Wine always makes an 8.3 name, hashed: under Wine only its shape is checked.
Dim longName : longName = temp & "\a long directory name for vbs"
If Not fso.FolderExists(longName) Then fso.CreateFolder longName
Dim shortName : shortName = u.getShortPath(longName)
Dim shortLast : shortLast = Mid(shortName, InStrRev(shortName, "\") + 1)
If UnderWine() Then
  Check "getShortPath of a long name differs (" & shortName & ")", shortName <> "" And shortName <> longName
Else
  Check "getShortPath is the platform's short path (" & shortName & ")", shortName = fso.GetFolder(longName).ShortPath
End If
If shortName <> longName Then
  Check "its last part is an 8.3 name (" & shortLast & ")", Len(shortLast) <= 12 And InStr(shortLast, "~") > 0
End If
Check "getLongPath gives the long name back", LCase(u.getLongPath(shortName)) = LCase(longName)

' pathRelPathTo: any nonzero fromIsDir means a directory; three arguments: toPath is a file.
Check "pathRelPathTo fromIsDir 1", u.pathRelPathTo("C:\a\b", 1, "C:\a\c\d.txt") = "..\c\d.txt"
Check "pathRelPathTo fromIsDir 0", u.pathRelPathTo("C:\a\b", 0, "C:\a\c\d.txt") = ".\c\d.txt"
Check "pathRelPathTo with four arguments", u.pathRelPathTo("C:\a\b", True, "C:\a\b\c", True) = ".\c"
Check "pathRelPathTo across drives is empty", u.pathRelPathTo("C:\a", True, "D:\b", False) = ""

' The current directory belongs to the process: set through one object, seen by another.
Dim dir : dir = temp & "\vbs current"
If Not fso.FolderExists(dir) Then fso.CreateFolder dir
Dim other : Set other = CreateObject("Vantorelix.Utils")
Check "setCurrentDir of an existing directory", u.setCurrentDir(dir) = True
Check "the other object sees it", other.getCurrentDir() = dir
Check "getFullPathName completes against it", u.getFullPathName("f.txt") = dir & "\f.txt"
' A local drive is on no network connection: expandFileName gives the full path as it is.
' (Wine has no mapped network drives here, so the UNC form cannot be shown.)
Check "expandFileName of a local path is its full path", u.expandFileName("..\g.txt") = temp & "\g.txt"
Check "setCurrentDir of a missing directory is false", other.setCurrentDir(dir & "\missing") = False
Check "and the directory stays", u.getCurrentDir() = dir
Check "restore the current directory", u.setCurrentDir(saved) = True

' A full path of more than 260 bytes comes back uncut.
Dim deep : deep = temp
Do While Len(deep) < 300
  deep = deep & "\abcdefghijklmnopqrstuvwxyz"
Loop
Dim expanded : expanded = u.expandFileName(deep & "\f.txt")
Check "expandFileName of a long path is uncut (" & Len(expanded) & ")", expanded = deep & "\f.txt" And Len(expanded) > 260
Check "getFullPathName agrees", u.getFullPathName(deep & "\f.txt") = expanded

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
