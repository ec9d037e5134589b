// getFileTime, setFileTime and setFileTimeOne from JScript, with the messages checked
// character by character.
// zones: Asia/Tokyo Europe/Berlin
// JScript cannot build a variant array itself: its arrays are objects (VT_DISPATCH), which
// setFileTime counts as not given. The arrays that it does pass are those that a COM method
// gave it (getFileTime's texts, getDesktopAvailRectArray's numbers), used here as they came.
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

var noTimeGiven = "\u6307\u5b9a\u304c\u3069\u308c\u3082\u306a\u3044\u3002";
var noTimeSelected = "\u3069\u308c\u306e\u5909\u66f4\u304b\u306e\u6307\u5b9a\u304c\u306a\u3044\u3002";
var openFailed = "\u30d5\u30a1\u30a4\u30eb\u306e\u53d6\u5f97\u306b\u5931\u6557";
var invalidArgument = "\u4e0d\u6b63\u306a\u5f15\u6570\u304c\u6e21\u3055\u308c\u307e\u3057\u305f";

// Under Wine some answers are Wine's own: its loader gives every process WINECONFIGDIR, and
// Windows never does. (The same line stands in every script test that needs it.)
function underWine() { return new ActiveXObject("WScript.Shell").Environment("PROCESS")("WINECONFIGDIR") != ""; }

var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var u = new ActiveXObject("Vantorelix.Utils");
var tag = env("VANTORELIX_LOCALE") + "-" + env("TZ").replace("/", "_");
var dir = env("VANTORELIX_TEMP");

function newFile(name) {
  var p = dir + "\\ftj-" + tag + "-" + name + ".txt";
  if (fso.FileExists(p)) fso.DeleteFile(p, true);
  fso.CreateTextFile(p, true).Close();
  return p;
}
function timeText(p, i) {
  var t = u.getFileTime(p);
  return t === undefined ? "<no array>" : new VBArray(t).toArray()[i];
}

// A calendar record outside the valid ranges is refused with ERROR_INVALID_PARAMETER (87), on
// Windows and on Wine 8 alike: the answer is the system's text for that code.
var invalidTime = u.getErrMsg(87);
check("the system has a text for code 87", invalidTime.length > 2);
// The creation time after it was set to `expected`: Windows keeps it; Wine on a Linux file
// system keeps none and shows the last write time in its place, accepted under Wine only.
function creationIs(p, expected) {
  return underWine() ? timeText(p, 0) == timeText(p, 2) : timeText(p, 0) == expected;
}

var p = newFile("format");
check("setFileTimeOne succeeds with an empty text", u.setFileTimeOne(p, "w", 2024, 3, 5, 7, 8, 9, 250) == "");
// Wine's typeof cannot name a variant array; new VBArray takes only one.
var raw = u.getFileTime(p);
var times = null;
try { times = new VBArray(raw); } catch (e) {}
check("getFileTime gives a variant array", times != null);
check("one dimension, bounds 0 to 2", times.dimensions() == 1 && times.lbound() == 0 && times.ubound() == 2);
var list = times.toArray();
check("elements are strings", typeof list[0] == "string" && typeof list[1] == "string" && typeof list[2] == "string");
check("last write text (" + list[2] + ")", list[2] == "2024/3/5 07:08:09");
check("getFileTime of a missing file is Empty", typeof u.getFileTime(dir + "\\no-such-" + tag) == "undefined");

// Messages, exactly.
var m = u.setFileTime(p);
check("nothing given (" + codes(m) + ")", m == noTimeGiven);
check("a JScript array is an object: not given", u.setFileTime(p, [2020], [2020, 1], [2020, 1, 1]) == noTimeGiven);
check("the texts of getFileTime are no numbers: not given", u.setFileTime(p, raw, raw, raw) == noTimeGiven);
check("numbers are not given", u.setFileTime(p, 2020, 2020, 2020) == noTimeGiven);
check("undefined and null are not given", u.setFileTime(p, undefined, null, undefined) == noTimeGiven);
check("the times are unchanged", timeText(p, 2) == "2024/3/5 07:08:09");
// The work area (left, top, right, bottom) as calendar numbers: year 0 is no valid year, so the
// time was given and its conversion failed.
m = u.setFileTime(p, u.getDesktopAvailRectArray());
check("a variant array from COM is given (" + m + ")", m == "CreationTime: " + invalidTime);
check("and the file is untouched", timeText(p, 2) == "2024/3/5 07:08:09");

check("empty path, valid time", u.setFileTimeOne("", "w", 2020) == openFailed);
m = u.setFileTimeOne("", "w", 2020, 13);
check("empty path, invalid time gives the conversion text", m == invalidTime);
check("nothing selected", u.setFileTimeOne(p, "xyzW", 2020) == noTimeSelected);
check("an empty type", u.setFileTimeOne(p, "", 2020) == noTimeSelected);

// The letters rule over low bytes: U+FF57 and U+0157 both end in 0x57, "W".
u.setFileTimeOne(p, "aw", 2000, 1, 1);
check("U+FF57 selects the last write time", u.setFileTimeOne(p, String.fromCharCode(0xFF57), 2005, 2, 3) == "");
check("last write changed", timeText(p, 2) == "2005/2/3 00:00:00");
check("last access unchanged", timeText(p, 1) == "2000/1/1 00:00:00");
check("U+0157 too", u.setFileTimeOne(p, String.fromCharCode(0x157), 2006, 2, 3) == "" && timeText(p, 2) == "2006/2/3 00:00:00");
check("U+FF41 (fullwidth a, low byte 0x41) selects the access time",
      u.setFileTimeOne(p, String.fromCharCode(0xFF41), 2007, 2, 3) == "" && timeText(p, 1) == "2007/2/3 00:00:00");
check("c and w", u.setFileTimeOne(p, "cw", 2008, 1, 1) == "" && timeText(p, 2) == "2008/1/1 00:00:00" && timeText(p, 1) == "2007/2/3 00:00:00");
check("c and w: the creation time", creationIs(p, "2008/1/1 00:00:00"));
check("Month 65537 acts as January", u.setFileTimeOne(p, "w", 2020, 65537, 9) == "" && timeText(p, 2) == "2020/1/9 00:00:00");
m = u.setFileTimeOne(p, "w", 2020, -1, 9);
check("Month -1 fails with the conversion text", m == invalidTime && timeText(p, 2) == "2020/1/9 00:00:00");

// A file that another handle holds open.
var held = fso.OpenTextFile(p, 1);
m = u.setFileTimeOne(p, "w", 2001);
check("held open (" + codes(m) + ")", m == openFailed);
held.Close();
check("a directory", u.setFileTimeOne(dir, "w", 2001) == openFailed);

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
