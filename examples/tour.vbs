' A tour of Vantorelix.Utils from VBScript: every method, called as a script would.
' Run it with the README's first command, or by hand after regsvr32:  cscript //nologo tour.vbs
Option Explicit
Dim u : Set u = CreateObject("Vantorelix.Utils")

Sub Show(label, value)
  WScript.Echo label & " = [" & Replace(Replace(value, vbCr, "\r"), vbLf, "\n") & "]"
End Sub

WScript.Echo "-- timing and sound"
Dim t0 : t0 = u.getTickCount()
u.sleep 50
Show "getTickCount after sleep 50 (difference)", CDbl(u.getTickCount()) - CDbl(t0)
Show "beep()", u.beep()
Show "msgBeep(&H40)", u.msgBeep(&H40)
Show "sndPlaySound(""SystemAsterisk"", 1)", u.sndPlaySound("SystemAsterisk", 1)
Show "sndPlaySound()", u.sndPlaySound()

WScript.Echo "-- system error texts"
Show "getErrMsg(2)", u.getErrMsg(2)
Show "getErrMsg(5)", u.getErrMsg(5)
