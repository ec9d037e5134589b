// genGUID, progIDToClsid, clsidToProgID, regsvr and regsvr_u from JScript, with the exact
// Japanese texts (as \u escapes) and the ANSI passage of ProgIDs under both code pages.
//
// check (and underWine, in the scripts that need it) is copied into every script test word
// for word: cscript includes another file only in a .wsf job (<script src="...">), which
// Wine's cscript (8.0) does not run ("Could not find engine for .wsf"). An eval of the
// file's text would do in JScript, but not its VBScript counterpart (ExecuteGlobal is a stub
// in Wine), and both languages keep their checks the same way. Change every copy alike.
var passed = 0, failed = 0;
function check(name, ok) {
  if (ok) passed++; else { failed++; WScript.Echo("FAIL: " + name); }
}
function codes(s) {
  var out = [];
  for (var i = 0; i < s.length; i++) out.push(s.charCodeAt(i) < 128 ? s.charAt(i) : "\\u" + s.charCodeAt(i).toString(16));
  return out.join("");
}

// Under Wine some answers are Wine's own: its loader gives every process WINECONFIGDIR, and
// Windows never does. (The same line stands in every script test that needs it.)
function underWine() { return new ActiveXObject("WScript.Shell").Environment("PROCESS")("WINECONFIGDIR") != ""; }

var shell = new ActiveXObject("WScript.Shell");
var env = shell.Environment("PROCESS");
var u = new ActiveXObject("Vantorelix.Utils");
var japanese = env("VANTORELIX_LOCALE") == "ja";
var fixtures = env("VANTORELIX_FIXTURES");
function fixture(name) { return fixtures + "\\" + name + ".dll"; }
// Pointers in fault messages: 16 digits in a 64-bit host (where the object is 64-bit too), 8 in a 32-bit one.
var wide = env("PROCESSOR_ARCHITECTURE") == "AMD64";
check("the script host is " + env("VANTORELIX_ARCH") + " (" + env("PROCESSOR_ARCHITECTURE") + ")",
      wide == (env("VANTORELIX_ARCH") == "win64"));
var pointer = wide ? "[0-9A-F]{16}" : "[0-9A-F]{8}";
var nullPointer = wide ? "0000000000000000" : "00000000";

var CLSID = "{D26D3337-1F1D-4805-AC89-287F698FEC0E}";

// Identifiers
var g1 = u.genGUID(), g2 = u.genGUID();
check("genGUID form (" + g1 + ")", /^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$/.test(g1));
check("genGUID differs each call", g1 != g2);
check("progIDToClsid of the server", u.progIDToClsid("Vantorelix.Utils") == CLSID);
check("clsidToProgID upper case", u.clsidToProgID(CLSID) == "Vantorelix.Utils");
check("clsidToProgID lower case", u.clsidToProgID(CLSID.toLowerCase()) == "Vantorelix.Utils");
check("unknown ProgID", u.progIDToClsid("No.Such.ProgId") == "");
check("empty ProgID", u.progIDToClsid("") == "");
check("malformed CLSID", u.clsidToProgID("{D26D3337-1F1D-4805-AC89-287F698FEC0X}") == "");
check("unregistered CLSID", u.clsidToProgID("{00000000-0000-0000-0000-000000000000}") == "");
check("empty CLSID", u.clsidToProgID("") == "");

// The classes of the test go where this user may write them and COM reads them: on Windows
// the user's own classes (HKEY_CLASSES_ROOT shows them, and writing to it needs an
// administrator); Wine's COM reads only the machine's classes, so there they go to
// HKEY_CLASSES_ROOT itself.
var classes = underWine() ? "HKCR\\" : "HKCU\\Software\\Classes\\";
// Wine's WScript.Shell has no RegDelete: reg.exe removes the keys of the test.
function removeKey(key) {
  check("removed " + codes(key), shell.Run('reg delete "' + key + '" /f', 0, true) == 0);
}

// The ANSI passage. A ProgID with a snowman (in no ANSI code page) and one with katakana A
// (in 932 only) are registered under a class of their own; what comes back is the ProgID as
// the code page carries it, and that form is the name under which the forward lookup is made.
function passage(label, progId, survivesUnder932) {
  var clsid = "{6C3F1E2A-8B4D-4E7F-9A1C-2D5E8F0B3C4" + label + "}";
  shell.RegWrite(classes + "CLSID\\" + clsid + "\\ProgID\\", progId, "REG_SZ");
  var back = u.clsidToProgID(clsid);
  var intact = japanese && survivesUnder932;
  check(label + ": ProgID back through ANSI (" + codes(back) + ")", intact ? back == progId : back != progId && back.length > 0);
  check(label + ": the substitute keeps the ASCII part", back.substring(0, 15) == "Vantorelix.Test");
  shell.RegWrite(classes + back + "\\CLSID\\", clsid, "REG_SZ");
  check(label + ": forward lookup reaches the substituted name", u.progIDToClsid(progId) == clsid);
  removeKey(classes + back);
  removeKey(classes + "CLSID\\" + clsid);
}
passage("1", "Vantorelix.Test\u2603", false);
passage("2", "Vantorelix.Test\u30a2", true);

// regsvr and regsvr_u
var failedText = " \u306b\u5931\u6557\u3002";  // " に失敗。"
function afterEach(name) {
  check(name + ": the next call works", u.regsvr(fixture("fixture_ok")) == "");
}
check("S_OK gives empty", u.regsvr(fixture("fixture_ok")) == "");
check("S_OK of DllUnregisterServer gives empty", u.regsvr_u(fixture("fixture_ok")) == "");
var m = u.regsvr(fixture("fixture_false"));
check("S_FALSE gives the error text (" + codes(m) + ")", m == "\u30a8\u30e9\u30fc");
m = u.regsvr(fixture("fixture_no_entry"));
check("missing export (" + codes(m) + ")", m == "GetProcAddress" + failedText + "127");
m = u.regsvr_u(fixtures + "\\no_such_fixture.dll");
check("missing file (" + codes(m) + ")", m == "LoadLibrary" + failedText + "126");
m = u.regsvr("");
check("empty path (" + codes(m) + ")", /^\d+$/.test(m.substring(("LoadLibrary" + failedText).length)) &&
      m.indexOf("LoadLibrary" + failedText) == 0);

m = u.regsvr(fixture("fixture_write_null"));
var av = new RegExp("^\u30e2\u30b8\u30e5\u30fc\u30eb 'fixture_write_null\\.dll' \u306e\u30a2\u30c9\u30ec\u30b9 " + pointer +
                    " \u3067\u30a2\u30c9\u30ec\u30b9 " + nullPointer + " \u306b\u5bfe\u3059\u308b\u66f8\u304d\u8fbc\u307f\u9055\u53cd\u304c\u304a\u304d\u307e\u3057\u305f\u3002$");
check("write to address 0 (" + codes(m) + ")", av.test(m));
afterEach("write to address 0");
m = u.regsvr_u(fixture("fixture_divide_zero"));
check("division by zero (" + codes(m) + ")", m == "\u30bc\u30ed\u306b\u3088\u308b\u9664\u7b97");
afterEach("division by zero");
m = u.regsvr(fixture("fixture_raise"));
check("unknown exception code (" + codes(m) + ")", m == "\u5916\u90e8\u4f8b\u5916 BADC0DE");
afterEach("unknown exception code");
m = u.regsvr(fixture("fixture_loose_code"));
check("fault outside any module (" + codes(m) + ")", new RegExp("^\u30a2\u30c9\u30ec\u30b9 " + pointer + " \u3067").test(m));
afterEach("fault outside any module");

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
