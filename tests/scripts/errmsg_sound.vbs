' getErrMsg, sleep, getTickCount, beep, msgBeep and sndPlaySound from VBScript.
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
Dim u : Set u = CreateObject("Vantorelix.Utils")

' getErrMsg: the system text with its closing CR LF; a code without text gives "".
Dim m : m = u.getErrMsg(2)
Check "getErrMsg(2) has text", Len(m) > 2
Check "getErrMsg(2) ends in CR LF", Right(m, 2) = vbCrLf
Check "getErrMsg(0) is the success text", Len(u.getErrMsg(0)) > 2 And Right(u.getErrMsg(0), 2) = vbCrLf
Check "getErrMsg of a code without text is empty", u.getErrMsg(&HFFFFFFF) = ""
Check "getErrMsg result is a String", TypeName(u.getErrMsg(5)) = "String"

' getTickCount and sleep: VBScript receives the unsigned count as a Long-compatible value.
Dim t0, t1, d
t0 = u.getTickCount()
Check "tick count is a number", IsNumeric(t0)
' The VARTYPE of an unsigned result, for the log (Wine gives VT_UI4, 19).
WScript.Echo "vartype: getTickCount " & VarType(t0)
u.sleep
t1 = u.getTickCount()
d = CDbl(t1) - CDbl(t0)
If d < 0 Then d = d + 4294967296
Check "sleep without argument pauses about 100 ms (" & d & ")", d >= 80 And d < 3000
' sleep 0 only gives up the time slice: the quickest of five tries shows it on a busy machine.
Dim k, quickest : quickest = 1000000
For k = 1 To 5
  t0 = u.getTickCount()
  u.sleep 0
  t1 = u.getTickCount()
  d = CDbl(t1) - CDbl(t0)
  If d < 0 Then d = d + 4294967296
  If d < quickest Then quickest = d
Next
Check "sleep 0 returns at once (" & quickest & ")", quickest < 50
t1 = u.getTickCount()
u.sleep 250
d = CDbl(u.getTickCount()) - CDbl(t1)
If d < 0 Then d = d + 4294967296
Check "sleep 250 pauses about 250 ms (" & d & ")", d >= 200 And d < 3000

' A sound call answers "" when the platform made the sound and a failure text when it could
' not (Windows where no sound device answers). Wine's Beep and MessageBeep never fail and its
' default sound always "plays": there only "" is accepted.
Function SoundAnswer(r)
  If UnderWine() Or r = "" Then
    SoundAnswer = (r = "")
  Else
    SoundAnswer = (Right(r, 2) = vbCrLf) Or IsNumeric(r)
  End If
End Function
Check "beep without arguments", SoundAnswer(u.beep())
Check "beep 440, 20", SoundAnswer(u.beep(440, 20))
Check "msgBeep without argument", SoundAnswer(u.msgBeep())
' &HFFFFFFFF is the Long -1 in VBScript, which no unsigned parameter takes: 4294967295 it is.
Check "msgBeep simple beep", SoundAnswer(u.msgBeep(4294967295))
Check "msgBeep asterisk", SoundAnswer(u.msgBeep(&H40))

' sndPlaySound: a missing file with SND_NODEFAULT fails with a non-empty text; a looping
' sound returns at once and an empty path stops it.
Dim missing : missing = env("VANTORELIX_TEMP") & "\missing-sound.wav"
m = u.sndPlaySound(missing, 2)
Check "missing file with flag 2 gives a text", Len(m) > 0
t0 = u.getTickCount()
Check "loop of a missing file plays the default sound asynchronously", SoundAnswer(u.sndPlaySound(missing, 8))
d = CDbl(u.getTickCount()) - CDbl(t0)
If d < 0 Then d = d + 4294967296
Check "a looping sound returns at once", d < 2000
Check "no arguments stop the sound", SoundAnswer(u.sndPlaySound())
Check "an empty path stops the sound", SoundAnswer(u.sndPlaySound("", 0))

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
