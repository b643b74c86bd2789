#!/usr/bin/env bash
# The stand-in's Wine tests, run by CTest in the repository's 32-bit prefix:
#   run_standin_tests.sh <bin dir>                  the client, no drawer
#   run_standin_tests.sh <bin dir> virtual-drawer   a session on the virtual drawer
# Registers the stand-in (and quillvane.dll, which the suite's setup step has
# usually registered already, from the same file), runs the client, then
# unregisters the stand-in and checks that nothing of it stays behind.
# quillvane.dll stays registered for the suite's own cleanup step.
set -uo pipefail
bin=$(cd "${1:?usage: run_standin_tests.sh <bin dir> [virtual-drawer]}" && pwd)
mode=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/wine-env"
# The wine server and services outlive this script: keep them off CTest's
# output pipe, which CTest waits on until every holder has closed it.
"$root/scripts/wine-prefix" >/dev/null 2>&1 </dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null

client="$bin/standin_client.exe"
simulator="$bin/virtual-drawer/virtual-drawer.exe"
export QV_VD_DLLS="$bin/virtual-drawer/dlls"
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

wine_tool regsvr32 /s "$bin/quillvane.dll" || fail "regsvr32 quillvane.dll gave $?"
wine_tool regsvr32 /s "$bin/quillvane_control.dll" || fail "regsvr32 quillvane_control.dll gave $?"
if [ "$failed" = 0 ] && [ "$mode" = virtual-drawer ]; then
  if [ ! -f "$simulator" ]; then
    fail "the virtual drawer is not built ($simulator)"
  elif ! "$root/virtual-drawer/install-for" "$client" >/dev/null </dev/null; then
    fail "installing the virtual drawer's DLLs for the client"
  else
    wine "$simulator" stop >/dev/null 2>&1 </dev/null
    if wine "$simulator" start --device 06e5:04d2:8:8:1 </dev/null >/dev/null 2>&1; then
      wine "$client" --virtual-drawer || failed=1
    else
      fail "the simulator did not start"
    fi
    wine "$simulator" stop >/dev/null 2>&1 </dev/null
    "$root/virtual-drawer/install-for" --remove "$client" >/dev/null 2>&1 </dev/null
  fi
elif [ "$failed" = 0 ]; then
  if ! wine "$client"; then
    failed=1
    # The client removes its fixtures itself; after a crash they may remain.
    wine_tool reg delete 'HKCR\quillvane.FakeServiceObject' /f >/dev/null 2>&1
  fi
fi
wine_tool regsvr32 /u /s "$bin/quillvane_control.dll" || fail "regsvr32 /u quillvane_control.dll gave $?"
wine "$client" --unregistered || failed=1
exit "$failed"
