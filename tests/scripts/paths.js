// The path methods from JScript: the wide/ANSI difference for characters outside the code
// page, and the double-byte characters of code page 932 in the relative-path extraction.
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
  for (var i = 0; i < s.length; i++) out.push(s.charCodeAt(i).toString(16));
  return out.join(",");
}

var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var u = new ActiveXObject("Vantorelix.Utils");
var temp = env("VANTORELIX_TEMP");
var japanese = env("VANTORELIX_LOCALE") == "ja";

// The ANSI passage of this run, seen through the DLL itself: under code page 932 the kanji
// U+8868 survives it, under 1252 it does not.
var kanji = u.expandFileName("C:\\\u8868").charCodeAt(3);
check("code page matches the locale (" + kanji.toString(16) + ")", japanese ? kanji == 0x8868 : kanji != 0x8868);

// U+AC00, a Hangul syllable, is in neither code page: the wide method keeps it, the ANSI one
// gives the platform's substitute in its place.
var name = temp + "\\x\uAC00y.txt";
var full = u.getFullPathName(name);
var expanded = u.expandFileName(name);
var at = temp.length + 2;
check("getFullPathName keeps U+AC00 (" + codes(full.substr(at - 1, 3)) + ")", full == name);
check("expandFileName substitutes it (" + codes(expanded.substr(at - 1, 3)) + ")",
      expanded.length == name.length && expanded.charCodeAt(at) != 0xAC00 &&
      expanded.substr(0, at) == name.substr(0, at) && expanded.substr(at + 1) == name.substr(at + 1));
check("both agree for plain text", u.expandFileName(temp + "\\a\\..\\b.txt") == u.getFullPathName(temp + "\\a\\..\\b.txt"));
check("getFullPathName of a relative name", u.getFullPathName("f.txt") == u.getCurrentDir() + "\\f.txt");

// The relative-path extraction with kanji whose second byte in code page 932 is 0x5C ("\"):
// U+8868 is 0x95 0x5C, U+30BD is 0x83 0x5C. Under 932 they are whole characters, never
// separators; under 1252 they become the substitute, with the same results for these cases.
check("base file named U+8868 is dropped whole",
      u.extractRelPath("C:\\a\\\u8868", "C:\\a\\x.txt") == "x.txt");
check("base directory U+8868 is one level",
      u.extractRelPath("C:\\\u8868\\", "C:\\f.txt") == "..\\f.txt");
check("shared directory U+8868",
      u.extractRelPath("C:\\\u8868\\a\\", "C:\\\u8868\\b\\f.txt") == "..\\b\\f.txt");
var down = u.extractRelPath("C:\\d\\", "C:\\\u30bd\\\u8868\\f");
if (japanese) {
  check("destination directories keep their kanji (" + codes(down) + ")", down == "..\\\u30bd\\\u8868\\f");
  // U+30A2 is 0x83 0x41 and U+30C2 is 0x83 0x61: a trail byte is not folded as a capital.
  check("trail bytes are not folded",
        u.extractRelPath("C:\\\u30a2\\", "C:\\\u30c2\\f") == "..\\\u30c2\\f");
  // Full-width capitals are not folded either.
  check("full-width A and a differ",
        u.extractRelPath("C:\\\uff21\\", "C:\\\uff41\\f") == "..\\\uff41\\f");
} else {
  var sub = u.expandFileName("C:\\\u30bd").charAt(3);
  check("destination directories come back substituted (" + codes(down) + ")",
        down == "..\\" + sub + "\\" + sub + "\\f");
  // Outside DBCS mode the system folds U+00C4 to U+00E4.
  check("Latin capitals fold", u.extractRelPath("C:\\\u00c4\\x\\", "C:\\\u00e4\\f") == "..\\f");
}
check("different drives give the destination through the code page",
      u.extractRelPath("C:\\a\\", "D:\\\uAC00") == u.expandFileName("D:\\\uAC00"));

// The wide methods and the current directory.
check("getLongPath of a missing path is empty", u.getLongPath(temp + "\\missing\\f") == "");
check("setCurrentDir of empty is false", u.setCurrentDir("") == false);
var saved = u.getCurrentDir();
var other = new ActiveXObject("Vantorelix.Utils");
check("setCurrentDir of the temp folder", u.setCurrentDir(temp) == true);
check("seen by another object", other.getCurrentDir() == temp);
check("restore the current directory", other.setCurrentDir(saved) == true && u.getCurrentDir() == saved);
check("pathRelPathTo with three arguments", u.pathRelPathTo("C:\\a\\b", 1, "C:\\a\\b\\c") == ".\\c");
check("getMaxPath", u.getMaxPath() == 260);

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
