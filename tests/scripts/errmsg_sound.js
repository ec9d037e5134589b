// getErrMsg and the sound methods from JScript, and the UTF-16 texts under both code pages.
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

// Under Wine some answers are Wine's own: its loader gives every process WINECONFIGDIR, and
// Windows never does. (The same line stands in every script test that needs it.)
function underWine() { return new ActiveXObject("WScript.Shell").Environment("PROCESS")("WINECONFIGDIR") != ""; }

var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var u = new ActiveXObject("Vantorelix.Utils");
var japanese = env("VANTORELIX_LOCALE") == "ja";

var m = u.getErrMsg(2);
check("getErrMsg(2) ends in CR LF", m.length > 2 && m.charCodeAt(m.length - 2) == 13 && m.charCodeAt(m.length - 1) == 10);
// The text itself is the system's, in the user's language: Windows' text for code 2 in
// English or in Japanese, as the language that Windows was installed in says (another
// language is skipped: the C++ tests compare every text with FormatMessageW itself). Wine has
// texts of its own, accepted under Wine only. Either way the Japanese text arrives as UTF-16,
// character for character.
var windowsTexts = {
  "09": "The system cannot find the file specified.\r\n",
  "11": "\u6307\u5b9a\u3055\u308c\u305f\u30d5\u30a1\u30a4\u30eb\u304c\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3002\r\n"
};
if (underWine()) {
  var wineText = japanese ? "\u30d5\u30a1\u30a4\u30eb\u304c\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3002\r\n" : "File not found.\r\n";
  check("Wine's " + (japanese ? "Japanese" : "English") + " text of code 2 (" + codes(m) + ")", m == wineText);
} else {
  var installed = "";
  try {
    installed = "" + new ActiveXObject("WScript.Shell").RegRead("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language\\InstallLanguage");
  } catch (e) {}
  var primary = installed.substr(installed.length - 2).toUpperCase();  // 09 English, 11 Japanese
  if (windowsTexts[primary]) check("Windows' text of code 2 (" + codes(m) + ")", m == windowsTexts[primary]);
  else WScript.Echo("skipped: the text of code 2 in the language " + installed + " is not known here");
}
check("unknown code gives empty", u.getErrMsg(0x0FFFFFFF) == "");
check("typeof getErrMsg is string", typeof u.getErrMsg(3) == "string");

var t = u.getTickCount();
check("tick count is a number", typeof t == "number" && t >= 0 && t <= 4294967295);
// A sound call answers "" when the platform made the sound and a failure text when it could
// not (Windows where no sound device answers). Wine's Beep and MessageBeep never fail and its
// default sound always "plays": there only "" is accepted.
function soundAnswer(r) {
  if (underWine()) return r === "";
  return r === "" || /\r\n$/.test(r) || /^\d+$/.test(r);
}
check("beep with defaults", soundAnswer(u.beep()));
check("beep by position", soundAnswer(u.beep(500, 15)));
check("msgBeep 0x10", soundAnswer(u.msgBeep(0x10)));
var missing = env("VANTORELIX_TEMP") + "\\missing-sound.wav";
check("missing file, no default: a text", u.sndPlaySound(missing, 2).length > 0);
check("loop async", soundAnswer(u.sndPlaySound(missing, 9)));
check("stop", soundAnswer(u.sndPlaySound()));

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
