#!/usr/bin/env bash
# Lists the processes whose environment carries a run's mark (HX_RUN_MARK=MARK), but
# for the PIDs given, and fails when there are any: what a test run started and did
# not end. Run it without the mark itself (env -u HX_RUN_MARK).
#   leftovers.sh MARK [PID...]
set -u
mark=${1:?leftovers.sh MARK [PID...]}
shift
pass=" $* "
left=0
for e in /proc/[0-9]*/environ; do
    pid=${e#/proc/}
    pid=${pid%/environ}
    [[ $pass == *" $pid "* ]] && continue
    if { tr '\0' '\n' <"$e"; } 2>/dev/null | grep -qxF "HX_RUN_MARK=$mark"; then
        echo "left running: $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
        left=1
    fi
done
exit $left
