// The driver of run-tests.cmd, run by the machine's own cscript. For each architecture in the
// kit it runs the programs that want Vantorelix unregistered, registers the DLL (per user, or
// per machine with /machine), runs the C++ test programs, the robustness programs and the
// script tests with that architecture's hosts, and unregisters the DLL again. It prints one
// line per failed case, then "N passed, N failed", and leaves work\all-passed when nothing
// failed. Written for the oldest JScript that Windows and Wine ship: no ES5 methods.
var shell = new ActiveXObject("WScript.Shell");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var env = shell.Environment("PROCESS");
var kit = fso.GetParentFolderName(WScript.ScriptFullName);
var work = kit + "\\work";
// The version of the DLLs in this kit, which the version test compares with their resources.
var version = "@VERSION@";
var CLSID = "{D26D3337-1F1D-4805-AC89-287F698FEC0E}";

var options = {machine: false, arch: "", verbose: false, quick: false};
for (var i = 0; i < WScript.Arguments.length; i++) {
  var a = WScript.Arguments.Item(i).toLowerCase().replace(/^-+/, "/");
  if (a == "/machine") options.machine = true;
  else if (a == "/user") options.machine = false;
  else if (a == "/verbose") options.verbose = true;
  else if (a == "/quick") options.quick = true;
  else if (a == "/arch" && i + 1 < WScript.Arguments.length) options.arch = WScript.Arguments.Item(++i).toLowerCase();
  else {
    WScript.Echo("usage: run-tests.cmd [/machine] [/arch x64|x86] [/quick] [/verbose]");
    WScript.Quit(2);
  }
}

var passed = 0, failed = 0, skipped = 0;
function fail(where, what) {
  failed++;
  WScript.Echo("FAIL: " + where + ": " + what);
}
function note(text) { WScript.Echo(text); }

function q(path) { return "\"" + path + "\""; }
function makeFolder(path) {
  if (!fso.FolderExists(path)) {
    makeFolder(fso.GetParentFolderName(path));
    fso.CreateFolder(path);
  }
}
function freshFolder(path) {
  if (fso.FolderExists(path)) {
    try { fso.DeleteFolder(path, true); } catch (e) {}
  }
  makeFolder(path);
}
function readText(path) {
  if (!fso.FileExists(path) || fso.GetFile(path).Size == 0) return "";
  var f = fso.OpenTextFile(path, 1);
  var text = f.ReadAll();
  f.Close();
  return text;
}
function lines(text) { return text.replace(/\r/g, "").split("\n"); }

// The environment that the test programs read, given to each of them on its command line
// (Wine's JScript cannot change the process environment through WScript.Shell).
var testEnvironment = {};

// Runs a command line with its output in a log file, hidden, and waits: the exit code. The
// command interpreter's /s takes exactly the outer quotes away, whatever the line holds; a
// quoted set command keeps "&" and spaces in its value.
function runLogged(commandLine, log) {
  var comspec = env("ComSpec") || "cmd.exe", sets = "";
  for (var name in testEnvironment) sets += "set " + q(name + "=" + testEnvironment[name]) + " & ";
  return shell.Run(q(comspec) + " /d /s /c \"" + sets + commandLine + " > " + q(log) + " 2>&1\"", 0, true);
}

// The architectures of this machine and this kit.
var host64 = env("VANTORELIX_HOST64"), host32 = env("VANTORELIX_HOST32");
var arches = [];
function consider(name, host, wineArch, why) {
  if (options.arch && options.arch != name) return;
  if (!fso.FolderExists(kit + "\\" + name)) { note("not in this kit: " + name); return; }
  if (!host) { note("not run: " + name + " (" + why + ")"); return; }
  arches.push({name: name, host: host, wineArch: wineArch});
}
consider("x64", host64, "win64", "this Windows runs no x64 script host");
consider("x86", host32, "win32", "");
if (arches.length == 0) {
  WScript.Echo("nothing to run");
  WScript.Quit(1);
}

// The ANSI code page decides the expectations of the tests that read ANSI texts.
var acp = "";
try { acp = "" + shell.RegRead("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage\\ACP"); } catch (e) {}
note("Vantorelix tests: " + (options.machine ? "per machine" : "per user") + ", ANSI code page " + acp);

// Whether an architecture's class is registered now (the 32-bit view of a 64-bit Windows is
// under Wow6432Node).
function classRegistered(arch) {
  var view = arch.name == "x86" && host64 ? "Wow6432Node\\" : "";
  try {
    shell.RegRead("HKCR\\" + view + "CLSID\\" + CLSID + "\\InprocServer32\\");
    return true;
  } catch (e) {
    return false;
  }
}

// "yes" where the x86 part can run beside the x64 one, otherwise why not.
function runs32Bit() {
  if (!host64) return "this is a 32-bit Windows";
  if (!fso.FileExists(kit + "\\x86\\Vantorelix.dll")) return "the kit has no x86 part";
  if (!fso.FileExists(host32 + "\\regsvr32.exe")) return "no 32-bit regsvr32 in " + host32;
  return "yes";
}

function registration(arch, dll, undo) {
  var command = q(arch.host + "\\regsvr32.exe") + " /s" + (undo ? " /u" : "") + (options.machine ? "" : " /n /i:user") +
                " " + q(dll);
  return runLogged(command, arch.logs + "\\regsvr32" + (undo ? "-u" : "") + ".txt");
}

// A GoogleTest program: its cases from the XML report it writes.
function runGtest(arch, program, leftOut) {
  var base = arch.logs + "\\" + program.replace(/\.exe$/i, "");
  var report = base + ".xml";
  if (fso.FileExists(report)) fso.DeleteFile(report, true);
  var filter = leftOut ? " --gtest_filter=-" + leftOut : "";
  var rc = runLogged(q(arch.dir + "\\tests\\" + program) + filter + " --gtest_output=xml:" + q(report), base + ".txt");
  var where = arch.name + " " + program;
  var xml = new ActiveXObject("Microsoft.XMLDOM");
  xml.async = false;
  if (!fso.FileExists(report) || !xml.load(report)) {
    fail(where, "ended without its report (exit code " + rc + "); output in " + base + ".txt");
    return;
  }
  var cases = xml.getElementsByTagName("testcase");
  var bad = 0;
  for (var k = 0; k < cases.length; k++) {
    var c = cases.item(k);
    var name = c.getAttribute("classname") + "." + c.getAttribute("name");
    var failures = c.getElementsByTagName("failure");
    if (failures.length > 0) {
      bad++;
      fail(where, name + ": " + lines(failures.item(0).getAttribute("message")).join(" | ").substr(0, 300));
    } else if (c.getAttribute("result") == "skipped" || c.getAttribute("status") == "notrun") {
      skipped++;
    } else {
      passed++;
    }
  }
  if (rc != 0 && bad == 0) fail(where, "exit code " + rc + " although every case passed");
}

// A robustness program: one case, judged by its exit code and its "N checks, N failed" line.
function runChecks(arch, program, args) {
  var base = arch.logs + "\\" + program.replace(/\.exe$/i, "");
  var rc = runLogged(q(arch.dir + "\\tests\\" + program) + (args ? " " + args : ""), base + ".txt");
  var out = lines(readText(base + ".txt")), summary = false, first = "";
  for (var k = 0; k < out.length; k++) {
    if (!first && /^FAIL/.test(out[k])) first = out[k] + "; ";
    if (/^\d+ checks, 0 failed$/.test(out[k])) summary = true;
  }
  if (rc == 0 && summary) passed++;
  else fail(arch.name + " " + program, first + "exit code " + rc + "; output in " + base + ".txt");
}

// A script test through the architecture's own cscript: its checks from its output.
function runScript(arch, script) {
  var log = arch.logs + "\\" + script + ".txt";
  var rc = runLogged(q(arch.host + "\\cscript.exe") + " //nologo " + q(kit + "\\scripts\\" + script), log);
  var out = lines(readText(log)), where = arch.name + " " + script, summary = null, shown = 0;
  for (var k = 0; k < out.length; k++) {
    var m = /^(\d+) passed, (\d+) failed$/.exec(out[k]);
    if (m) summary = m;
    else if (/^FAIL: /.test(out[k])) { fail(where, out[k].substr(6)); shown++; }
    else if (/^skipped: /.test(out[k])) note(where + ": " + out[k]);
    // The VARTYPE that this system's late binding gives an int or unsigned result.
    else if (/^vartype: /.test(out[k])) note(where + ": " + out[k]);
  }
  if (!summary) {
    fail(where, "ended without its summary line (exit code " + rc + "); output in " + log);
    return;
  }
  passed += parseInt(summary[1], 10);
  for (var n = parseInt(summary[2], 10); n > shown; n--) fail(where, "a check failed without its line; output in " + log);
  if (rc != 0 && summary[2] == "0") fail(where, "exit code " + rc);
}

function programsOf(arch) {
  var list = [], text = lines(readText(arch.dir + "\\tests\\programs.txt"));
  for (var k = 0; k < text.length; k++) {
    var f = text[k].split("|");
    if (f.length >= 4) list.push({name: f[0], phase: f[1], args: f[2], leftOut: f[3]});
  }
  return list;
}
function isGtest(program) { return !/^stress_/i.test(program.name); }

function seconds(since) { return Math.round((new Date().getTime() - since) / 100) / 10; }

function runProgram(arch, p) {
  var start = new Date().getTime();
  // /quick runs the robustness programs a tenth as long.
  var args = options.quick && /^\d+$/.test(p.args) ? "" + Math.max(1, Math.floor(p.args / 10)) : p.args;
  if (isGtest(p)) runGtest(arch, p.name, options.machine ? "" : p.leftOut);
  else runChecks(arch, p.name, args);
  if (options.verbose) note(arch.name + " " + p.name + (args ? " " + args : "") + ": " + seconds(start) + " s");
}

function runArch(arch) {
  arch.dir = kit + "\\" + arch.name;
  arch.logs = work + "\\" + arch.name + "\\logs";
  var dll = arch.dir + "\\Vantorelix.dll";
  freshFolder(work + "\\" + arch.name);
  makeFolder(arch.logs);
  makeFolder(work + "\\" + arch.name + "\\temp");
  testEnvironment = {
    VANTORELIX_DLL: dll,
    VANTORELIX_FIXTURES: arch.dir + "\\fixtures",
    VANTORELIX_TEMP: work + "\\" + arch.name + "\\temp",
    VANTORELIX_BUILD: arch.dir,
    VANTORELIX_SOURCE: kit,
    VANTORELIX_ARCH: arch.wineArch,
    VANTORELIX_VERSION: version,
    // The tests know two code pages: 932 (their Japanese runs) and 1252 (their default runs).
    // Under another one they run without naming a locale, and cases that expect one of the two
    // may fail.
    VANTORELIX_LOCALE: acp == "932" ? "ja" : acp == "1252" ? "default" : "",
    // The side-by-side registration test of the x64 part registers the x86 DLL beside it.
    VANTORELIX_DLL32: kit + "\\x86\\Vantorelix.dll",
    VANTORELIX_RUNS_32BIT: runs32Bit()
  };
  if (!fso.FileExists(arch.host + "\\cscript.exe") || !fso.FileExists(arch.host + "\\regsvr32.exe")) {
    fail(arch.name, "no script host or regsvr32 in " + arch.host + ": this system cannot run the " + arch.name + " part");
    return;
  }
  var programs = programsOf(arch);
  if (programs.length == 0) fail(arch.name, "tests\\programs.txt lists no program");

  // Programs that register the DLL themselves or activate it without registration need a
  // machine where it is not registered yet.
  var already = classRegistered(arch);
  for (var k = 0; k < programs.length; k++) {
    if (programs[k].phase != "unregistered") continue;
    if (already) note("not run: " + arch.name + " " + programs[k].name + " (Vantorelix is already registered on this machine)");
    else runProgram(arch, programs[k]);
  }

  var rc = registration(arch, dll, false);
  if (rc != 0) {
    fail(arch.name, "regsvr32 could not register " + dll + " (exit code " + rc + ")" +
         (options.machine ? "; /machine needs a prompt run as administrator" : "") + "; nothing else of " + arch.name + " ran");
    return;
  }
  for (var k = 0; k < programs.length; k++) {
    var p = programs[k];
    if (p.phase == "registered" || (p.phase == "machine" && options.machine)) runProgram(arch, p);
    else if (p.phase == "machine") note("not run: " + arch.name + " " + p.name + " (it writes HKEY_CLASSES_ROOT: use /machine)");
    if (p.leftOut && !options.machine) note("not run: " + arch.name + " " + p.leftOut + " (it writes HKEY_CLASSES_ROOT: use /machine)");
  }
  // The packer lists the scripts (Wine's JScript cannot enumerate a folder's files).
  var scripts = lines(readText(kit + "\\scripts\\scripts.txt"));
  for (var k = 0; k < scripts.length; k++) {
    if (!scripts[k]) continue;
    var start = new Date().getTime();
    runScript(arch, scripts[k]);
    if (options.verbose) note(arch.name + " " + scripts[k] + ": " + seconds(start) + " s");
  }

  rc = registration(arch, dll, true);
  if (rc != 0) fail(arch.name, "regsvr32 /u could not unregister " + dll + " (exit code " + rc + ")");
}

for (var k = 0; k < arches.length; k++) runArch(arches[k]);

if (skipped > 0) note(skipped + " cases skipped by their programs");
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed == 0 && passed > 0) {
  fso.CreateTextFile(work + "\\all-passed", true).Close();
  WScript.Quit(0);
}
WScript.Quit(1);
