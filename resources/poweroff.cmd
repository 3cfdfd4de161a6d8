@echo off
rem Vantoro's shutdown launcher, written beside the program when missing.
rem Usage: poweroff.cmd -s -t SECONDS -c "comment"
setlocal
set "SHUT=0"
set "DELAY=0"
set "COMMENT="
:next
if "%~1"=="" goto run
if /i "%~1"=="-s" set "SHUT=1"
if /i "%~1"=="/s" set "SHUT=1"
if /i "%~1"=="-t" (set "DELAY=%~2" & shift)
if /i "%~1"=="/t" (set "DELAY=%~2" & shift)
if /i "%~1"=="-c" (set "COMMENT=%~2" & shift)
if /i "%~1"=="/c" (set "COMMENT=%~2" & shift)
shift
goto next
:run
if not "%SHUT%"=="1" exit /b 0
shutdown.exe /s /t %DELAY% /c "%COMMENT%"
