@echo off
rem Removes the registration install.cmd made of the @BITS@-bit quillvane
rem DLLs of this folder (those registered from elsewhere are left alone).
rem Needs administrator rights; exit codes as install.cmd's.
call "%~dp0install.cmd" /uninstall %*
