@echo off
rem Registers the @BITS@-bit quillvane service object of this folder with the
rem regsvr32 of its bitness, for copy-and-register installs, or removes that
rem registration again (uninstall.cmd calls this with /uninstall):
rem   install.cmd [/standin]   quillvane.dll (quillvane.CashDrawer), and with
rem                            /standin the control object stand-in
rem                            quillvane_control.dll (quillvane.ControlObject)
rem   uninstall.cmd            both, where they are registered from this folder
rem A registration that points at another folder is left alone. Needs
rem administrator rights. Exit codes: 0 done, 1 a registration failed or
rem belongs to another install, 2 bad arguments or the wrong Windows, 3 not
rem an administrator. quillvane @VERSION@.
setlocal EnableExtensions
set "here=%~dp0"
set "self=install.cmd"
set "mode=install"
set "standin=0"
:arguments
if "%~1"=="" goto :parsed
if /i "%~1"=="/standin" (set "standin=1" & shift & goto :arguments)
if /i "%~1"=="/uninstall" (set "mode=uninstall" & set "self=uninstall.cmd" & shift & goto :arguments)
echo %self%: unknown argument %1; usage: install.cmd [/standin], uninstall.cmd
exit /b 2
:parsed

rem The regsvr32 and the registry view of the DLLs' bitness. A 32-bit cmd
rem on 64-bit Windows (PROCESSOR_ARCHITEW6432 set) reaches the 64-bit
rem System32 as Sysnative.
set "win64=0"
if defined PROCESSOR_ARCHITEW6432 set "win64=1"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "win64=1"
set "native=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "native=%SystemRoot%\Sysnative"
set "view="
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
if "@BITS@"=="32" if "%win64%"=="1" (set "regsvr32=%SystemRoot%\SysWOW64\regsvr32.exe" & set "view=/reg:32")
if "@BITS@"=="64" (
  if "%win64%"=="0" (
    echo %self%: this is the 64-bit package and Windows here is 32-bit; use the x86 package.
    exit /b 2
  )
  set "regsvr32=%native%\regsvr32.exe"
  set "view=/reg:64"
)

net session >nul 2>&1
if errorlevel 1 (
  echo %self%: administrator rights are needed to change the registration of quillvane; nothing was changed.
  echo Right-click %self% and choose "Run as administrator", or run it from an elevated prompt.
  exit /b 3
)

if "%mode%"=="uninstall" goto :uninstall
call :register quillvane.dll {F2222B23-DCE3-48F1-A9BA-3292A601B15F} quillvane.CashDrawer
if errorlevel 1 exit /b 1
if not "%standin%"=="1" goto :registered_all
call :register quillvane_control.dll {666E1802-7D41-45BC-848C-D520C554069A} quillvane.ControlObject
if errorlevel 1 exit /b 1
:registered_all
echo %self%: next, configure a device: "%here%qvprovision.exe" add ^<name^> --pid ^<product id^>
echo and check it with "%here%Brindlemark.exe".
exit /b 0

:uninstall
set "failed=0"
call :unregister quillvane_control.dll {666E1802-7D41-45BC-848C-D520C554069A}
if errorlevel 1 set "failed=1"
call :unregister quillvane.dll {F2222B23-DCE3-48F1-A9BA-3292A601B15F}
if errorlevel 1 set "failed=1"
exit /b %failed%

rem :registered <clsid>: sets "registered" to the class's server path in the
rem view of our bitness, or to nothing.
:registered
set "registered="
set "line="
for /f "delims=" %%l in ('reg query "HKLM\SOFTWARE\Classes\CLSID\%~1\InprocServer32" /ve %view% 2^>nul ^| find "REG_SZ"') do set "line=%%l"
if not defined line exit /b 0
set "registered=%line:*REG_SZ=%"
for /f "tokens=*" %%p in ("%registered%") do set "registered=%%p"
exit /b 0

rem :register <dll> <clsid> <progid>
:register
call :registered %2
if defined registered if /i not "%registered%"=="%here%%~1" (
  echo %self%: %~3 is already registered from %registered%, another install; remove that one first. Nothing was changed.
  exit /b 1
)
"%regsvr32%" /s "%here%%~1"
set "code=%errorlevel%"
if not "%code%"=="0" (
  echo %self%: %regsvr32% could not register %here%%~1 ^(exit %code%^)
  exit /b 1
)
echo %self%: registered %here%%~1 as %~3 ^(@BITS@-bit^) with %regsvr32%
exit /b 0

rem :unregister <dll> <clsid>
:unregister
call :registered %2
if not defined registered (
  echo %self%: %~1 is not registered; nothing to do for it
  exit /b 0
)
if /i not "%registered%"=="%here%%~1" (
  echo %self%: %~1 is registered from %registered%, not from this folder; left alone
  exit /b 0
)
"%regsvr32%" /u /s "%here%%~1"
set "code=%errorlevel%"
if not "%code%"=="0" (
  echo %self%: %regsvr32% could not unregister %here%%~1 ^(exit %code%^)
  exit /b 1
)
echo %self%: unregistered %here%%~1 with %regsvr32%
exit /b 0
