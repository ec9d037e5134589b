// The work area and the system colours from JScript. JScript arrays are objects, which
// setSysColor does not take; the variant arrays used here are those that COM methods gave.
// Every colour changed here is put back at the end.
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
  for (var i = 0; i < s.length; i++) out.push(s.charCodeAt(i));
  return out.join(",");
}

var nullToInteger = "Null\u578b\u304b\u3089 Integer \u578b\u3078\u306e\u30d0\u30ea\u30a2\u30f3\u30c8\u578b\u5909\u63db\u306f\u3067\u304d\u307e\u305b\u3093";
var textToBoolean = "OleStr\u578b\u304b\u3089 Boolean \u578b\u3078\u306e\u30d0\u30ea\u30a2\u30f3\u30c8\u578b\u5909\u63db\u306f\u3067\u304d\u307e\u305b\u3093";

var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var u = new ActiveXObject("Vantorelix.Utils");

// The object-literal form is a JScript expression.
var rawArea = u.getDesktopAvailRectArray();
var area = new VBArray(rawArea).toArray();
var literal = eval(u.getDesktopAvailRectStr(1));
check("the literal form evaluates to the work area",
      literal.left === area[0] && literal.top === area[1] && literal.right === area[2] && literal.bottom === area[3]);
check("the comma form", u.getDesktopAvailRectStr() == area.join(","));
check("four numbers", area.length == 4 && typeof area[0] == "number");

// JScript builds no variant array itself; a Dictionary's Items() is one, holding the values
// in the order they were added.
function vbArray(list) {
  var d = new ActiveXObject("Scripting.Dictionary");
  for (var i = 0; i < list.length; i++) d.Add(i, list[i]);
  return d.Items();
}
var saved = [];
for (var i = 0; i <= 6; i++) saved.push(u.getSysColor(i));

check("a JScript array is no array argument", u.setSysColor([5], [0xFF0000]) === false);
check("numbers are no array arguments", u.setSysColor(5, 0xFF0000) === false);
check("(5)/(0xFF0000)", u.setSysColor(vbArray([5]), vbArray([0xFF0000])) === true && u.getSysColor(5) == 0xFF0000);
check("colour -1", u.setSysColor(vbArray([5]), vbArray([-1])) === true && u.getSysColor(5) == 0xFFFFFF);
check("indices \"5\", 4.5 and true", u.setSysColor(vbArray(["5", 4.5, true]), vbArray([0x123, 0x456, 0x789])) === true &&
      u.getSysColor(5) == 0x123 && u.getSysColor(4) == 0x456);

// The work area as indices and colours: a variant array from a COM method is taken as it is.
var ok = u.setSysColor(rawArea, rawArea);
check("the work-area array is taken", ok === true);
if (area[0] >= 0 && area[0] <= 6) check("its first element set", u.getSysColor(area[0]) == area[0]);

// Errors: E_UNEXPECTED, with the Japanese description intact.
u.setSysColor(vbArray([1, 2, 3]), vbArray([1, 2, 3]));
var caught = null;
try { u.setSysColor(vbArray([1, 2, 3]), vbArray([0xAA, 0xBB, null])); } catch (e) { caught = e; }
check("a Null colour raises", caught != null);
if (caught) {
  check("e.number is E_UNEXPECTED (" + caught.number + ")", caught.number == -2147418113);
  check("e.description intact (" + codes(caught.description) + ")", caught.description == nullToInteger);
  check("its fifth character is U+578B", caught.description.charCodeAt(4) == 0x578B);
}
check("no colour changed", u.getSysColor(1) == 1 && u.getSysColor(2) == 2 && u.getSysColor(3) == 3);

// Texts that are neither numbers nor truth values fail as Boolean.
var p = env("VANTORELIX_TEMP") + "\\desktop-" + env("VANTORELIX_LOCALE") + ".txt";
fso.CreateTextFile(p, true).Close();
caught = null;
try { u.setSysColor(vbArray([1, 2, 3]), u.getFileTime(p)); } catch (e) { caught = e; }
check("file-time texts as colours raise", caught != null && caught.description == textToBoolean);
check("still no colour changed", u.getSysColor(1) == 1);

// Put the colours back.
check("restored", u.setSysColor(vbArray([0, 1, 2, 3, 4, 5, 6]), vbArray(saved)) === true);
var same = true;
for (var i = 0; i <= 6; i++) if (u.getSysColor(i) != saved[i]) same = false;
check("every colour as it was", same);

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
