#!/usr/bin/env bash
# report-print.sh BUILD_DIR
# Measures the simulated board, prints its report to PDF with headless
# Chromium as a reviewer would, and checks the pages: the chart alone on
# page 1, the results table's header on page 2.
set -euo pipefail
build=$(realpath "$1")
command -v chromium >/dev/null && command -v pdftotext >/dev/null || { echo "SKIP: no chromium or pdftotext"; exit 77; }
work=$(mktemp -d)
cleanup() { kill "${simulator_pid:-}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
export PELLMORA_HISTORY=none

"$build/simulator/pellmora-board-simulator" --meter 0 >"$work/board.log" &
simulator_pid=$!
for _ in $(seq 50); do [ "$(wc -l <"$work/board.log")" -ge 2 ] && break; sleep 0.1; done
"$build/pellmora-sweep" run --port "$(sed -n 1p "$work/board.log")" --meter "tcp:$(sed -n 's/^meter //p' "$work/board.log")" \
    --reset none --boot 0 --settle 0 --samples 2 --reply-timeout 5 --battery-mah 220 --out "$work/run" 2>/dev/null \
    || fail "the sweep failed"

chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/chromium" --no-pdf-header-footer \
    --print-to-pdf="$work/report.pdf" "file://$work/run/report.html" 2>/dev/null
[ -s "$work/report.pdf" ] || fail "chromium printed nothing"
pdfinfo "$work/report.pdf" | grep -q 'Page size:.*841.* x 59[45]' || fail "not landscape A4: $(pdfinfo "$work/report.pdf" | grep 'Page size')"
first=$(pdftotext -layout -f 1 -l 1 "$work/report.pdf" -)
second=$(pdftotext -layout -f 2 -l 2 "$work/report.pdf" -)
grep -q 'Current per power mode' <<<"$first" || fail "page 1 does not hold the chart"
grep -q 'Readings' <<<"$first" && fail "page 1 holds more than the chart"
grep -Eq 'Index +Mode +Range +NPLC +Mean' <<<"$second" || fail "page 2 does not hold the table's header: $second"
grep -Eq '17 +RUN_reduced_code Range 1, 80Mhz' <<<"$second" || fail "the table's last row is not on page 2"
echo "PASS: the printed report"
