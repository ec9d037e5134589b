' getFileTime, setFileTime and setFileTimeOne from VBScript, with Array(...) arguments.
' zones: Asia/Tokyo Europe/Berlin
' The messages are Japanese; this file is read in the ANSI code page, so they are checked here
' by length and against each other, and character by character in filetimes.js.
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
' Each run (locale and zone) has its own files.
Dim tag : tag = env("VANTORELIX_LOCALE") & "-" & Replace(env("TZ"), "/", "_")
Dim dir : dir = env("VANTORELIX_TEMP")

Function NewFile(name)
  Dim p : p = dir & "\ftv-" & tag & "-" & name & ".txt"
  If fso.FileExists(p) Then
    fso.GetFile(p).Attributes = 0
    fso.DeleteFile p
  End If
  fso.CreateTextFile(p, True).Close
  NewFile = p
End Function

Function TimeText(p, i)
  Dim t : t = u.getFileTime(p)
  If IsArray(t) Then TimeText = t(i) Else TimeText = "<no array>"
End Function

' The creation time after it was set to expected: Windows keeps it; Wine on a Linux file
' system keeps none and shows the last write time in its place, accepted under Wine only.
Function CreationIs(p, expected)
  If UnderWine() Then CreationIs = (TimeText(p, 0) = TimeText(p, 2)) Else CreationIs = (TimeText(p, 0) = expected)
End Function

' A calendar record outside the valid ranges is refused with ERROR_INVALID_PARAMETER (87), on
' Windows and on Wine 8 alike: the answer is the system's text for that code.
Dim invalidTime : invalidTime = u.getErrMsg(87)

Dim noneGiven : noneGiven = u.setFileTime(NewFile("none"))
Check "nothing given: a message of 9 characters", Len(noneGiven) = 9
Dim openFailed : openFailed = u.setFileTimeOne("", "w", 2020)
Check "open failure: a message of 10 characters", Len(openFailed) = 10
Dim noneSelected : noneSelected = u.setFileTimeOne(NewFile("nosel"), "xyz", 2020)
Check "nothing selected: a message of 13 characters", Len(noneSelected) = 13

' The text form: no leading zeros in month and day, two digits in the time, no milliseconds.
Dim p : p = NewFile("format")
Check "setFileTimeOne succeeds with an empty text", u.setFileTimeOne(p, "w", 2024, 3, 5, 7, 8, 9, 250) = ""
Dim t : t = u.getFileTime(p)
Check "getFileTime gives an array", IsArray(t)
Check "bounds 0 to 2", LBound(t) = 0 And UBound(t) = 2
Check "elements are strings", TypeName(t(0)) = "String" And TypeName(t(1)) = "String" And TypeName(t(2)) = "String"
Check "last write text (" & t(2) & ")", t(2) = "2024/3/5 07:08:09"
' The same local time as the platform's own reader (FileSystemObject) shows it.
Dim d : d = fso.GetFile(p).DateLastModified
Check "agrees with DateLastModified (" & d & ")", _
  Year(d) = 2024 And Month(d) = 3 And Day(d) = 5 And Hour(d) = 7 And Minute(d) = 8 And Second(d) = 9
Check "two-digit month and day stay", u.setFileTimeOne(p, "w", 1999, 12, 31, 23, 59, 59) = "" And TimeText(p, 2) = "1999/12/31 23:59:59"
Check "a summer date reads back as written", u.setFileTimeOne(p, "w", 2023, 7, 15, 12, 0, 0) = "" And TimeText(p, 2) = "2023/7/15 12:00:00"
Check "getFileTime of a missing file is Empty", IsEmpty(u.getFileTime(dir & "\no-such-file-" & tag))
Check "getFileTime of a directory is Empty", IsEmpty(u.getFileTime(dir))
Check "getFileTime of the empty path is Empty", IsEmpty(u.getFileTime(""))

' setFileTime with arrays.
p = NewFile("year")
Check "access time set", u.setFileTimeOne(p, "a", 2015, 6, 7, 8, 9, 10) = ""
Check "year only", u.setFileTime(p, Empty, Empty, Array(2020)) = ""
Check "year only gives 1 January 00:00:00", TimeText(p, 2) = "2020/1/1 00:00:00"
Check "the access time is left alone", TimeText(p, 1) = "2015/6/7 08:09:10"
Check "halves go to even: 2.5 gives 2, 3.5 gives 4", u.setFileTime(p, Empty, Empty, Array(2020, 2.5, 3.5)) = "" And TimeText(p, 2) = "2020/2/4 00:00:00"
Check "texts as numbers and literals", u.setFileTime(p, Empty, Empty, Array("2021", "$B", "x1E", "13", 14, 15)) = "" And TimeText(p, 2) = "2021/11/30 13:14:15"
Check "an unconvertible element makes the time not given", u.setFileTime(p, Empty, Empty, Array(2022, "abc")) = noneGiven
Check "nothing changed by it", TimeText(p, 2) = "2021/11/30 13:14:15"
Check "nine elements use seven", u.setFileTime(p, Empty, Array(2019, 8, 7, 6, 5, 4, 3, "junk", Null), Empty) = "" And TimeText(p, 1) = "2019/8/7 06:05:04"
Dim a : a = Array(2018, 5, 6)
Check "by-reference array from a variable", u.setFileTime(p, Empty, Empty, a) = "" And TimeText(p, 2) = "2018/5/6 00:00:00"

' Not given: anything but a usable array, silently.
p = NewFile("notgiven")
Check "omitted arguments", u.setFileTime(p) = noneGiven
Check "Empty", u.setFileTime(p, Empty, Empty, Empty) = noneGiven
Check "a date", u.setFileTime(p, Now, Now, Now) = noneGiven
Check "a number", u.setFileTime(p, 2020, 2020, 2020) = noneGiven
Check "a string", u.setFileTime(p, "2020/1/1", "2020/1/1", "2020/1/1") = noneGiven
Check "Null", u.setFileTime(p, Null, Null, Null) = noneGiven
Check "an object", u.setFileTime(p, fso, fso, fso) = noneGiven
Check "abc is not given", u.setFileTime(p, Array("abc"), Empty, Empty) = noneGiven
Check "a Null element is not given", u.setFileTime(p, Array(Null), Empty, Empty) = noneGiven
Check "3e9 is not given", u.setFileTime(p, Array(3e9), Empty, Empty) = noneGiven
Check "an empty array is not given", u.setFileTime(p, Array(), Empty, Empty) = noneGiven

' An invalid time: the prefix and the system text, and the file untouched.
p = NewFile("month13")
Check "times set", u.setFileTimeOne(p, "aw", 2011, 11, 11, 11, 11, 11) = ""
Dim r : r = u.setFileTime(p, Array(2020, 13, 1), Array(2000), Array(2000))
Check "month 13 gives the prefix and the text of code 87 (" & r & ")", r = "CreationTime: " & invalidTime And Right(r, 2) = vbCrLf
Check "the access time is untouched", TimeText(p, 1) = "2011/11/11 11:11:11"
Check "the write time is untouched", TimeText(p, 2) = "2011/11/11 11:11:11"
r = u.setFileTime(p, Empty, Empty, Array(2020, 1, 1, 0, 0, "$FFFFFFFF"))
Check "$FFFFFFFF is -1, an invalid second (" & r & ")", r = "LastWriteTime: " & invalidTime
Check "empty path with an invalid time gives the conversion failure", u.setFileTime("", Array(2020, 13)) = "CreationTime: " & invalidTime
Check "empty path with a valid time gives the open failure", u.setFileTime("", Array(2020)) = openFailed

' An array variable that was never given a size reaches the caller as an error.
Dim never()
On Error Resume Next
r = u.setFileTime(p, never)
Dim number, description, source : number = Err.Number : description = Err.Description : source = Err.Source
On Error GoTo 0
Check "an array without array raises E_UNEXPECTED (" & number & ")", number = -2147418113
Check "with its 12-character message", Len(description) = 12
Check "from Vantorelix.Utils (" & source & ")", source = "Vantorelix.Utils"

' setFileTimeOne: the letters of sTimeType.
p = NewFile("letters")
Sub ResetTimes()
  If u.setFileTimeOne(p, "caw", 2000, 1, 1) <> "" Then Check "reset", False
End Sub
ResetTimes
Check "c and w", u.setFileTimeOne(p, "cw", 2001, 2, 3) = "" And TimeText(p, 1) = "2000/1/1 00:00:00" And TimeText(p, 2) = "2001/2/3 00:00:00"
Check "c and w: the creation time", CreationIs(p, "2001/2/3 00:00:00")
ResetTimes
Check "Access: A, c, c", u.setFileTimeOne(p, "Access", 2002, 2, 3) = "" And TimeText(p, 1) = "2002/2/3 00:00:00" And TimeText(p, 2) = "2000/1/1 00:00:00"
Check "Access: the creation time", CreationIs(p, "2002/2/3 00:00:00")
ResetTimes
Check "LastWrite: only the access time", u.setFileTimeOne(p, "LastWrite", 2003, 2, 3) = "" And TimeText(p, 1) = "2003/2/3 00:00:00" And TimeText(p, 2) = "2000/1/1 00:00:00"
Check "LastWrite: the creation time stays", CreationIs(p, "2000/1/1 00:00:00")
ResetTimes
Check "xyzW selects nothing", u.setFileTimeOne(p, "xyzW", 2004, 2, 3) = noneSelected
Check "an empty type selects nothing", u.setFileTimeOne(p, "", 2004, 2, 3) = noneSelected
Check "nothing changed", TimeText(p, 2) = "2000/1/1 00:00:00"
Check "Month 65537 acts as January", u.setFileTimeOne(p, "w", 2020, 65537, 2) = "" And TimeText(p, 2) = "2020/1/2 00:00:00"
r = u.setFileTimeOne(p, "w", 2020, -1, 2)
Check "Month -1 fails with the conversion text (" & r & ")", r = invalidTime
Check "and changes nothing", TimeText(p, 2) = "2020/1/2 00:00:00"
Check "Month 0 and Day 0 act as 1", u.setFileTimeOne(p, "w", 2020, 0, 0, 5, 0, 0) = "" And TimeText(p, 2) = "2020/1/1 05:00:00"
Check "an invalid date with an empty type gives the conversion text", u.setFileTimeOne(p, "", 2020, 2, 30) = invalidTime
Check "defaults: midnight of 1 January", u.setFileTimeOne(p, "w", 2017) = "" And TimeText(p, 2) = "2017/1/1 00:00:00"
Check "empty path, valid time", u.setFileTimeOne("", "w", 2020) = openFailed
Check "empty path, invalid time", u.setFileTimeOne("", "w", 2020, 13) = invalidTime

' Files that cannot be opened for writing.
p = NewFile("held")
Dim held : Set held = fso.OpenTextFile(p, 1)
Check "a file held open by another handle (setFileTimeOne)", u.setFileTimeOne(p, "w", 2000) = openFailed
Check "a file held open by another handle (setFileTime)", u.setFileTime(p, Empty, Empty, Array(2000)) = openFailed
held.Close
Check "free again", u.setFileTimeOne(p, "w", 2000) = ""
Check "a directory", u.setFileTimeOne(dir, "w", 2000) = openFailed

p = NewFile("readonly")
fso.GetFile(p).Attributes = 1
' Windows refuses to open a read-only file for writing, to everyone. Wine run by root opens it
' (the Unix mode bits do not stop root): only there is the case let through.
Dim probe, writable : writable = False
If UnderWine() Then
  On Error Resume Next
  Set probe = fso.OpenTextFile(p, 8)
  writable = (Err.Number = 0)
  On Error GoTo 0
End If
If writable Then
  probe.Close
  WScript.Echo "skipped: Wine run by root opens a read-only file for writing"
Else
  Check "a read-only file (setFileTimeOne)", u.setFileTimeOne(p, "w", 2000) = openFailed
  Check "a read-only file (setFileTime)", u.setFileTime(p, Empty, Empty, Array(2000)) = openFailed
End If
Check "a read-only file can still be read", IsArray(u.getFileTime(p))
fso.GetFile(p).Attributes = 0

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
