// A tour of Vantorelix.Utils from JScript.
var u = new ActiveXObject("Vantorelix.Utils");
function show(label, value) {
  WScript.Echo(label + " = [" + String(value).replace(/\r/g, "\\r").replace(/\n/g, "\\n") + "]");
}
WScript.Echo("-- timing and sound");
show("getTickCount()", u.getTickCount());
show("beep(440, 20)", u.beep(440, 20));
show("msgBeep()", u.msgBeep());
WScript.Echo("-- system error texts");
show("getErrMsg(3)", u.getErrMsg(3));
