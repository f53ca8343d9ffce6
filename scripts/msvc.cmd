@echo off
rem Runs a command in a developer prompt of the newest Visual Studio (2022, 2026 or later)
rem that has the x64 C++ tools, found with vswhere, so that the msvc preset finds cl:
rem   scripts\msvc.cmd cmake --preset msvc
setlocal
set "vswhere=%ProgramFiles(x86)%\Microsoft Visual Studio\Installer\vswhere.exe"
if not exist "%vswhere%" goto no_vswhere
set "vs="
for /f "usebackq delims=" %%i in (`"%vswhere%" -latest -products * -requires Microsoft.VisualStudio.Component.VC.Tools.x86.x64 -property installationPath`) do set "vs=%%i"
if not defined vs goto no_vs
call "%vs%\Common7\Tools\VsDevCmd.bat" -arch=amd64 -host_arch=amd64 -no_logo
if errorlevel 1 exit /b 1
%*
exit /b %errorlevel%

:no_vswhere
echo No Visual Studio installer here: "%vswhere%" is missing 1>&2
exit /b 1

:no_vs
echo No Visual Studio with the x64 C++ tools (Microsoft.VisualStudio.Component.VC.Tools.x86.x64) 1>&2
exit /b 1
