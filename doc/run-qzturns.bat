@echo off
rem Runs qzturns in the folder this file is in. Edit the address below once
rem (right-click, Edit), save, then double-click this file. An address kept
rem with setx is used instead.
if not defined QZTURNS_BASE_URL set QZTURNS_BASE_URL=http://www.example.hu
rem To fetch faster from a site that can take it, remove "rem" below.
rem set QZTURNS_CONNECTIONS=2
cd /d "%~dp0"
qzturns.exe %*
echo.
pause
