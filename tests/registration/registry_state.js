// Reads the registry entries of Vantorelix.Utils through WScript.Shell and checks that all
// of them are there ("present") or none is ("absent").
//   cscript //nologo registry_state.js present|absent
var want = WScript.Arguments(0);
var shell = new ActiveXObject("WScript.Shell");
var clsid = "HKCR\\CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}";
var keys = [clsid + "\\", clsid + "\\InprocServer32\\", clsid + "\\ProgID\\", clsid + "\\Version\\",
            clsid + "\\TypeLib\\", "HKCR\\Vantorelix.Utils\\", "HKCR\\Vantorelix.Utils\\Clsid\\",
            "HKCR\\TypeLib\\{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}\\1.0\\"];
var passed = 0, failed = 0;
for (var i = 0; i < keys.length; i++) {
  var found;
  try { shell.RegRead(keys[i]); found = true; } catch (e) { found = false; }
  if (found == (want == "present")) passed++;
  else { failed++; WScript.Echo("FAIL: " + keys[i] + (found ? " is still there" : " is missing")); }
}
if (want == "present") {
  var ok = shell.RegRead(clsid + "\\InprocServer32\\ThreadingModel") == "Apartment";
  if (ok) passed++; else { failed++; WScript.Echo("FAIL: ThreadingModel"); }
}
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
