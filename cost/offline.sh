#!/usr/bin/env bash
# Measures what verolund-offline costs on a SYSTEM hive of a real machine's
# size, side by side with hivexregedit --merge making the same one-value change
# on the same hive. verolund-offline does more: it checks the installation,
# flushes the new hive, reads it back, keeps the original as a backup and
# writes the log; hivexregedit only opens, sets and commits.
#
# The installation: the realistic SYSTEM hive (tests/offline/hivefixture.py
# realistic) with UpperFilters holding a registered service and a stale entry
# and no PartMgr, a SOFTWARE hive of Windows XP, PartMgr.sys and Temp. Every
# timed run gets a fresh copy of it (the copying is not timed). Reports the
# median, min and max of several runs of each, and checks that both results
# hold the same UpperFilters bytes.
#
#   cost/offline.sh [PROGRAM]   PROGRAM defaults to build/offline/verolund-offline
#   COST_RUNS=N                 timed runs per tool (default 7)
#   COST_SERVICES=N             generated services per control set (default 600)
#
# A measurement, not a test: it prints figures and asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-build/offline/verolund-offline}
runs=${COST_RUNS:-7}
services=${COST_SERVICES:-600}
if [ ! -x "$program" ]; then
  cmake --preset offline >/dev/null
  cmake --build --preset offline >/dev/null
fi
program=$(realpath "$program")
for tool in hivexregedit hivexsh hivexget; do
  command -v "$tool" >/dev/null || {
    echo "cost/offline.sh: $tool is missing (scripts/setup installs hivex)" >&2
    exit 1
  }
done

work=$PWD/build/cost/offline
rm -rf "$work"
mkdir -p "$work"
prefix='HKEY_LOCAL_MACHINE\SYSTEM'
class='Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}'

# The hive of a real machine, and the control set Windows would start with.
/usr/bin/python3 tests/offline/hivefixture.py realistic "$work/realistic" \
  --services "$services" >"$work/hivefixture.log"
set_number=$(hivexget "$work/realistic" Select Default)
controlSet=$(printf 'ControlSet%03d' "$set_number")

# A registered service from the middle of the Services key, to stay in the list.
printf 'cd %s\\Services\nls\n' "$controlSet" | hivexsh "$work/realistic" >"$work/services.txt"
own=$(wc -l <"$work/services.txt")
kept=$(grep -vxiE 'partmgr|disk|diskperf' "$work/services.txt" |
  awk '{ v[NR] = $0 } END { print v[int((NR + 1) / 2)] }')
grep -qxi OldSnap "$work/services.txt" && echo "warning: OldSnap is a registered service here" >&2

# A REG_MULTI_SZ as the hive stores it, in hex(7) form: UTF-16LE.
multi_sz_hex() {
  (printf '%s\0' "$@"; printf '\0') | iconv -f ASCII -t UTF-16LE |
    od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//'
}
{
  printf 'Windows Registry Editor Version 5.00\n\n[%s\\%s\\%s]\n' "$prefix" "$controlSet" "$class"
  printf '"UpperFilters"=hex(7):%s\n' "$(multi_sz_hex "$kept" OldSnap)"
} >"$work/broken.reg"

# The installation as a rescue system sees it mounted.
template=$work/template
mkdir -p "$template/WINDOWS/system32/config" "$template/WINDOWS/system32/drivers" \
  "$template/WINDOWS/Temp"
hive=$template/WINDOWS/system32/config/SYSTEM
cp "$work/realistic" "$hive"
hivexregedit --merge --prefix "$prefix" "$hive" "$work/broken.reg"
/usr/bin/python3 tests/offline/hivefixture.py software "$template/WINDOWS/system32/config/SOFTWARE"
printf 'MZ\220\0PartMgr.sys\0' >"$template/WINDOWS/system32/drivers/PartMgr.sys"
hive_bytes=$(stat -c %s "$hive")

# The UpperFilters line of the class key in a hive, as hivexregedit exports it.
upper_filters() {
  hivexregedit --export --prefix "$prefix" "$1" "$controlSet\\$class" |
    awk -v key="[$prefix\\$controlSet\\$class]" '
      /^\[/ { inside = ($0 == key) }
      inside && /^"UpperFilters"=/ { print }'
}

fresh() {
  rm -rf "$work/run"
  cp -a "$template" "$work/run"
  # What the copy left to write back is not the measured tool's to wait for.
  sync
}

seconds() {
  awk -v ns="$1" 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

# Seconds one run of a command takes, its output to files.
timed() {
  local out=$1 start end status=0
  shift
  start=$(date +%s%N)
  "$@" >"$out.out" 2>"$out.err" || status=$?
  end=$(date +%s%N)
  echo "$status" >"$out.status"
  seconds $((end - start))
}

# A reference run gives the value that verolund-offline writes; the .reg for
# hivexregedit sets exactly those bytes.
fresh
"$program" --yes "$work/run/WINDOWS" >"$work/reference.out" 2>"$work/reference.err" ||
  echo "warning: verolund-offline exited with $?, see $work/reference.err" >&2
before=$(upper_filters "$hive")
after=$(upper_filters "$work/run/WINDOWS/system32/config/SYSTEM")
changed=yes
if [ -z "$after" ] || [ "$after" = "$before" ]; then
  changed=no
  echo "warning: the reference run did not change UpperFilters" >&2
fi
printf 'Windows Registry Editor Version 5.00\n\n[%s\\%s\\%s]\n%s\n' \
  "$prefix" "$controlSet" "$class" "$after" >"$work/repaired.reg"
cp "$work/run/WINDOWS/Temp/Verolund.log" "$work/reference-Verolund.log" 2>/dev/null || true
grep -q '^After create PartMgr' "$work/reference-Verolund.log" 2>/dev/null ||
  echo "warning: the reference run wrote no After line, see $work/reference-Verolund.log" >&2

# check NAME HIVE: warns unless the hive holds the reference's UpperFilters.
mismatches=0
check() {
  if [ "$(upper_filters "$2")" != "$after" ]; then
    echo "warning: after $1 UpperFilters differs from verolund-offline's reference run" >&2
    mismatches=$((mismatches + 1))
  fi
}

: >"$work/offline.times"
: >"$work/merge.times"
: >"$work/perl.times"
for ((run = 0; run <= runs; ++run)); do
  fresh
  offline=$(timed "$work/offline" "$program" --yes "$work/run/WINDOWS")
  [ "$(cat "$work/offline.status")" = 0 ] ||
    echo "warning: verolund-offline exited with $(cat "$work/offline.status")" >&2
  check verolund-offline "$work/run/WINDOWS/system32/config/SYSTEM"
  cmp -s "$hive" "$work/run/WINDOWS/system32/config/SYSTEM.verolund-1.bak" ||
    echo "warning: the backup is not the original hive" >&2
  offline_bytes=$(stat -c %s "$work/run/WINDOWS/system32/config/SYSTEM")

  fresh
  merge=$(timed "$work/merge" hivexregedit --merge --prefix "$prefix" \
    "$work/run/WINDOWS/system32/config/SYSTEM" "$work/repaired.reg")
  [ "$(cat "$work/merge.status")" = 0 ] ||
    echo "warning: hivexregedit --merge exited with $(cat "$work/merge.status")" >&2
  check 'hivexregedit --merge' "$work/run/WINDOWS/system32/config/SYSTEM"
  merge_bytes=$(stat -c %s "$work/run/WINDOWS/system32/config/SYSTEM")

  # What of hivexregedit is only Perl loading hivex's modules.
  perl=$(timed "$work/perl" perl -MWin::Hivex -MWin::Hivex::Regedit -e 1)

  # The first round only warms the caches up.
  if [ "$run" -gt 0 ]; then
    echo "$offline" >>"$work/offline.times"
    echo "$merge" >>"$work/merge.times"
    echo "$perl" >>"$work/perl.times"
  fi
done

# median min max of a file of numbers
summary() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%9.3f %9.3f %9.3f", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
median() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

list() {
  hivexget "$1" "\\$controlSet\\$class" UpperFilters | grep -v '^$' | paste -sd'|'
}
echo
sets=$(printf 'ls\n' | hivexsh "$hive" | grep -c '^ControlSet')
echo "offline repair: SYSTEM hive of $hive_bytes bytes, $own services in $controlSet" \
  "($sets control sets)"
echo "UpperFilters $(list "$hive") -> $(list "$work/run/WINDOWS/system32/config/SYSTEM")," \
  "written hive $offline_bytes bytes (verolund-offline), $merge_bytes (hivexregedit)"
echo "$runs runs each, seconds; load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %9s %9s %9s\n' tool median min max
printf '%-28s %s\n' verolund-offline "$(summary "$work/offline.times")"
printf '%-28s %s\n' 'hivexregedit --merge' "$(summary "$work/merge.times")"
printf '%-28s %s\n' '  of which Perl start-up' "$(summary "$work/perl.times")"
awk -v o="$(median "$work/offline.times")" -v m="$(median "$work/merge.times")" \
  'BEGIN { printf "verolund-offline against hivexregedit --merge: %.2f\n", o / m }'
if [ "$mismatches" -eq 0 ] && [ "$changed" = yes ]; then
  echo "UpperFilters after every run of both: the same bytes ($after)"
fi

# Where the time goes: the system calls of one more run of each, by wall time.
if command -v strace >/dev/null; then
  syscalls() {
    awk '$1 ~ /^[0-9.]+$/ && $NF != "total" && NF >= 5 { printf "%s %.3f, ", $NF, $2 }' "$1" |
      cut -d, -f1-5
  }
  fresh
  strace -f -c -w -S time -o "$work/offline.strace" "$program" --yes "$work/run/WINDOWS" \
    >/dev/null 2>&1 || true
  fresh
  strace -f -c -w -S time -o "$work/merge.strace" hivexregedit --merge --prefix "$prefix" \
    "$work/run/WINDOWS/system32/config/SYSTEM" "$work/repaired.reg" >/dev/null 2>&1 || true
  echo "system calls of one run, seconds (strace -c -w; the rest is user time and page faults):"
  echo "  verolund-offline:     $(syscalls "$work/offline.strace")"
  echo "  hivexregedit --merge: $(syscalls "$work/merge.strace")"
fi
