@echo off
rem Sets MYTOOL_HOME for the current user, then tells running programs with the
rem Quorvane.exe beside this script. Where reg cannot set it, stops with reg's status.
reg add HKCU\Environment /v MYTOOL_HOME /d "C:\Tools\MyTool" /f
if errorlevel 1 exit /b %errorlevel%
"%~dp0Quorvane.exe" /broadcast
if errorlevel 1 echo Could not tell running programs about MYTOOL_HOME
