' genGUID, progIDToClsid, clsidToProgID, regsvr and regsvr_u from VBScript. The Japanese texts
' are checked by their ASCII parts here (the script is read in the ANSI code page); the exact
' texts are in identifiers.js.
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
' A 64-bit host (and so a 64-bit object) writes pointers with 16 digits, a 32-bit one with 8.
Dim nullPointer : nullPointer = String(8, "0")
If env("PROCESSOR_ARCHITECTURE") = "AMD64" Then nullPointer = String(16, "0")
Dim u : Set u = CreateObject("Vantorelix.Utils")
Dim fixtures : fixtures = env("VANTORELIX_FIXTURES") & "\"
Const CLSID_UTILS = "{D26D3337-1F1D-4805-AC89-287F698FEC0E}"

' genGUID: the braced upper-case form, new each call.
Dim re : Set re = New RegExp
re.Pattern = "^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$"
re.IgnoreCase = False
Dim g1, g2 : g1 = u.genGUID() : g2 = u.genGUID()
Check "genGUID is 38 characters", Len(g1) = 38
Check "genGUID form " & g1, re.Test(g1)
Check "genGUID differs each call", g1 <> g2
Check "genGUID is a String", TypeName(g1) = "String"

' ProgID and CLSID
Check "progIDToClsid of the server", u.progIDToClsid("Vantorelix.Utils") = CLSID_UTILS
Check "clsidToProgID", u.clsidToProgID(CLSID_UTILS) = "Vantorelix.Utils"
Check "clsidToProgID in lower case", u.clsidToProgID(LCase(CLSID_UTILS)) = "Vantorelix.Utils"
Check "unknown ProgID", u.progIDToClsid("No.Such.ProgId") = ""
Check "empty ProgID", u.progIDToClsid("") = ""
Check "malformed CLSID", u.clsidToProgID("{D26D3337-1F1D-4805-AC89-287F698FEC0G}") = ""
Check "CLSID without ProgID", u.clsidToProgID("{5A0B3E7C-9D11-4F0E-A0C4-3B1D2F6E8A90}") = ""
Check "empty CLSID", u.clsidToProgID("") = ""

' regsvr and regsvr_u; after each, the next call works.
Dim m
Sub NextWorks(name)
  Check name & ": next call works", u.regsvr(fixtures & "fixture_ok.dll") = ""
End Sub
Check "entry point S_OK", u.regsvr(fixtures & "fixture_ok.dll") = ""
Check "unregister S_OK", u.regsvr_u(fixtures & "fixture_ok.dll") = ""
m = u.regsvr(fixtures & "fixture_false.dll")
Check "S_FALSE gives a text", Len(m) = 3
m = u.regsvr(fixtures & "fixture_no_entry.dll")
Check "missing export names GetProcAddress", Left(m, 15) = "GetProcAddress "
Check "missing export ends in 127", Right(m, 3) = "127"
m = u.regsvr(fixtures & "no_such_fixture.dll")
Check "missing file names LoadLibrary", Left(m, 12) = "LoadLibrary "
Check "missing file ends in 126", Right(m, 3) = "126"
m = u.regsvr_u("")
Check "empty path names LoadLibrary", Left(m, 12) = "LoadLibrary "
Check "empty path ends in a digit", IsNumeric(Right(m, 1))
m = u.regsvr(fixtures & "fixture_write_null.dll")
Check "write to 0 names the module", InStr(m, "'fixture_write_null.dll'") > 0
Check "write to 0 names address 0 in full pointer width", InStr(m, " " & nullPointer & " ") > 0
NextWorks "write to 0"
m = u.regsvr(fixtures & "fixture_raise.dll")
Check "unknown exception code in hexadecimal", Right(m, 8) = " BADC0DE"
NextWorks "unknown exception code"
m = u.regsvr_u(fixtures & "fixture_divide_zero.dll")
Check "division by zero gives a text", Len(m) = 7
NextWorks "division by zero"

' regsvr_u calls DllUnregisterServer only: the fixture appends the name of each entry point
' that ran to an environment variable of this process (Wine's Environment object cannot
' remove a variable, so the checks look at what is added).
Dim before : before = env("VANTORELIX_FIXTURE_CALLS")
Check "unregister of the recording fixture", u.regsvr_u(fixtures & "fixture_record.dll") = ""
Check "only DllUnregisterServer ran (" & env("VANTORELIX_FIXTURE_CALLS") & ")", _
      env("VANTORELIX_FIXTURE_CALLS") = before & "DllUnregisterServer;"
Check "register of the recording fixture", u.regsvr(fixtures & "fixture_record.dll") = ""
Check "then DllRegisterServer (" & env("VANTORELIX_FIXTURE_CALLS") & ")", _
      env("VANTORELIX_FIXTURE_CALLS") = before & "DllUnregisterServer;DllRegisterServer;"

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
