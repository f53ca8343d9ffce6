@echo off
reg add HKCU\Environment /v MYTOOL_HOME /d "C:\Tools\MyTool" /f
"%~dp0Quorvane.exe" /broadcast
if errorlevel 1 echo Could not tell running programs about MYTOOL_HOME
