#!/bin/sh
# A call log that can take only part of a record (a file-size limit stands in
# for a full disk): each record that does not fit is cut back to where it
# began, so the file holds only whole lines, and each is counted as lost.
#
#   calllog_whole.sh <probix32> <work directory>
set -eu
e2e_name=calllog_whole
. "$(dirname "$0")/lib/e2e.sh"
program=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

write_profile

# Past the limit a write is cut short (the signal for it ignored). The
# limit's unit differs between shells: measure it.
trap '' XFSZ
(
  ulimit -f 2
  head -c 4096 /dev/zero > probe 2>/dev/null || true
)
limit=$(wc -c < probe)
rm -f probe
[ "$limit" -gt 100 ] || fail "no file-size limit to be had"
# Room for half a record.
head -c $((limit - 40)) /dev/zero | tr '\0' '#' > CALLS.LOG
printf '\n' >> CALLS.LOG
before=$(wc -c < CALLS.LOG)

(
  ulimit -f 2
  printf 'EXPERT\nTANGELO\nMAKE_CALL 201 202\nGET EVENTS\nANSWER 202\nGET EVENTS\nHANGUP CALL\nGET EVENTS\nMAKE_CALL 203 204\nGET EVENTS\nANSWER 204\nGET EVENTS\nHANGUP CALL\nGET EVENTS\nREPORT STATUS\nEXIT\n' |
    "$program" -sprobix.ini -m- > out.txt 2>&1
) || fail "probix32 failed"

[ "$(wc -c < CALLS.LOG)" -eq "$before" ] || fail "a part of a record stayed: $(tail -c 100 CALLS.LOG)"
grep -q 'to "CALLS.LOG" (error [0-9]*), 1 record lost$' out.txt || fail "the first cut record not reported"
grep -q 'to "CALLS.LOG" (error [0-9]*), 2 records lost$' out.txt || fail "the second cut record not reported"
grep -q "Call records lost: 2" out.txt || fail "the lost records not counted"
echo "calllog_whole: records cut short were taken back whole and counted"
