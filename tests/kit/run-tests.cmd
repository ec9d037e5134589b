@echo off
rem Runs the Vantorelix tests on this machine. From a command prompt in this folder:
rem   run-tests.cmd              registers each Vantorelix.dll for this user only (no
rem                              administrator needed), runs every test, unregisters
rem   run-tests.cmd /machine     registers per machine instead (a prompt run as administrator);
rem                              also runs the tests that write HKEY_CLASSES_ROOT
rem   run-tests.cmd /arch x64    one architecture only (x64 or x86)
rem   run-tests.cmd /quick       runs the robustness programs a tenth as long
rem   run-tests.cmd /verbose     names each program and its time as it ends
rem Prints one line per failed case and closes with "N passed, N failed"; the exit code is
rem 0 only when nothing failed. Every program's output is kept in work\<arch>\logs.
setlocal EnableExtensions DisableDelayedExpansion

set "VANTORELIX_KIT=%~dp0"
if "%VANTORELIX_KIT:~-1%"=="\" set "VANTORELIX_KIT=%VANTORELIX_KIT:~0,-1%"

rem The script hosts of each architecture, as the driver (a native cscript) sees them. A 64-bit
rem Windows keeps its 64-bit programs in System32 and its 32-bit ones in SysWOW64; a 32-bit
rem Windows has only System32, with 32-bit programs. A 32-bit prompt on a 64-bit Windows
rem reaches the native cscript through Sysnative.
set "VANTORELIX_HOST64="
set "VANTORELIX_HOST32=%SystemRoot%\System32"
set "VANTORELIX_DRIVER_HOST=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "VANTORELIX_HOST64=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" set "VANTORELIX_HOST64=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" set "VANTORELIX_DRIVER_HOST=%SystemRoot%\Sysnative"
if defined VANTORELIX_HOST64 set "VANTORELIX_HOST32=%SystemRoot%\SysWOW64"
rem Windows on ARM64 runs x86 programs from SysWOW64 and has no x64 script host.
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "VANTORELIX_HOST32=%SystemRoot%\SysWOW64"
if /i "%PROCESSOR_ARCHITEW6432%"=="ARM64" set "VANTORELIX_HOST32=%SystemRoot%\SysWOW64"
if /i "%PROCESSOR_ARCHITEW6432%"=="ARM64" set "VANTORELIX_DRIVER_HOST=%SystemRoot%\Sysnative"

if not exist "%VANTORELIX_KIT%\work" mkdir "%VANTORELIX_KIT%\work"
if exist "%VANTORELIX_KIT%\work\all-passed" del "%VANTORELIX_KIT%\work\all-passed"

"%VANTORELIX_DRIVER_HOST%\cscript.exe" //nologo "%VANTORELIX_KIT%\run-tests.js" %*
set "VANTORELIX_RC=%ERRORLEVEL%"

rem The driver leaves work\all-passed only after its closing line with 0 failed: a host that
rem ends on a script error with exit code 0 cannot pass for a green run.
if not exist "%VANTORELIX_KIT%\work\all-passed" goto failed
if not "%VANTORELIX_RC%"=="0" goto failed
endlocal & exit /b 0

:failed
if "%VANTORELIX_RC%"=="0" echo run-tests: the driver ended without its closing line
endlocal & exit /b 1
