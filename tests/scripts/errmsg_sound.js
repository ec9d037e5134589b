// getErrMsg and the sound methods from JScript, and the UTF-16 texts under both code pages.
var passed = 0, failed = 0;
function check(name, ok) {
  if (ok) passed++; else { failed++; WScript.Echo("FAIL: " + name); }
}
function codes(s) {
  var out = [];
  for (var i = 0; i < s.length; i++) out.push(s.charCodeAt(i));
  return out.join(",");
}

var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var u = new ActiveXObject("Vantorelix.Utils");
var japanese = env("VANTORELIX_LOCALE") == "ja";

var m = u.getErrMsg(2);
check("getErrMsg(2) ends in CR LF", m.length > 2 && m.charCodeAt(m.length - 2) == 13 && m.charCodeAt(m.length - 1) == 10);
if (japanese) {
  // The system's Japanese text arrives as UTF-16, character for character:
  // "\u30d5\u30a1\u30a4\u30eb\u304c\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3002" and CR LF.
  check("Japanese text of code 2 (" + codes(m) + ")",
        m == "\u30d5\u30a1\u30a4\u30eb\u304c\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3002\r\n");
} else {
  check("English text of code 2 (" + codes(m) + ")", m == "File not found.\r\n");
}
check("unknown code gives empty", u.getErrMsg(0x0FFFFFFF) == "");
check("typeof getErrMsg is string", typeof u.getErrMsg(3) == "string");

var t = u.getTickCount();
check("tick count is a number", typeof t == "number" && t >= 0 && t <= 4294967295);
check("beep with defaults", u.beep() == "");
check("beep by position", u.beep(500, 15) == "");
check("msgBeep 0x10", u.msgBeep(0x10) == "");
var missing = env("VANTORELIX_TEMP") + "\\missing-sound.wav";
check("missing file, no default: a text", u.sndPlaySound(missing, 2).length > 0);
check("loop async", u.sndPlaySound(missing, 9) == "");
check("stop", u.sndPlaySound() == "");

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
