// A tour of Vantorelix.Utils from JScript: the methods whose results JScript handles its own way.
var u = new ActiveXObject("Vantorelix.Utils");
function show(label, value) {
  WScript.Echo(label + " = [" + String(value).replace(/\r/g, "\\r").replace(/\n/g, "\\n") + "]");
}
WScript.Echo("-- timing, sound and error texts");
show("getTickCount()", u.getTickCount());
show("beep(440, 20)", u.beep(440, 20));
show("getErrMsg(3)", u.getErrMsg(3));
WScript.Echo("-- the work area as an object literal and as a VBArray");
var rect = eval(u.getDesktopAvailRectStr(1));
show("getDesktopAvailRectStr(1) evaluated: right", rect.right);
show("getDesktopAvailRectArray().toArray()", new VBArray(u.getDesktopAvailRectArray()).toArray().join(","));
show("getSysColor(15).toString(16)", u.getSysColor(15).toString(16));
WScript.Echo("-- identifiers and paths");
show("genGUID()", u.genGUID());
show("clsidToProgID(progIDToClsid(...))", u.clsidToProgID(u.progIDToClsid("Vantorelix.Utils")));
show("extractRelPath", u.extractRelPath("C:\\a\\b\\", "C:\\a\\b\\x\\y.txt"));
show("pathRelPathTo", u.pathRelPathTo("C:\\a\\b\\c.txt", false, "C:\\a\\d.txt"));
show("getCurrentDir()", u.getCurrentDir());
var times = u.getFileTime("C:\\windows\\win.ini");
show("getFileTime(win.ini) last write", times == null ? "(Empty)" : new VBArray(times).toArray()[2]);
