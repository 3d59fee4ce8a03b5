#!/bin/sh
# Times Debian's dvbv5-scan and `kelvane-cli scan` (Backend=dvb) on the same
# emulated DVB-C devices, one after the other, through the preload library
# that puts the emulated devices behind each process's system calls, and
# prints the wall time and what each found.
#
#   bench/scan_vs_dvbv5.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR (default: build) holds kelvane-cli and libkelvane_dvb_preload.so
# (ninja -C build kelvane-cli kelvane_dvb_preload); RUNS (default 1) runs of
# each. The emulated network is the default one, each retune leaves the old
# transport's packets arriving for RETUNE_MS (default 50) ms, and
# kelvane-cli runs at its default tick unless TICK_MS is set, with the
# further options in CLI_ARGS (e.g. --wait-unlocked). Both scans are
# told the same of the home transport: dvbv5-scan by its initial file,
# kelvane-cli by card.ini. Everything is written in a temporary folder.
set -eu

build=${1:-build}
runs=${2:-1}
retune=${RETUNE_MS:-50}
preload=$(cd "$build" && pwd)/libkelvane_dvb_preload.so
cli=$(cd "$build" && pwd)/kelvane-cli
for f in "$preload" "$cli"; do
    [ -e "$f" ] || { echo "scan_vs_dvbv5.sh: $f is missing (ninja -C $build kelvane-cli kelvane_dvb_preload)" >&2; exit 1; }
done
command -v dvbv5-scan >/dev/null || { echo "scan_vs_dvbv5.sh: dvbv5-scan is missing (apt-get install dvb-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The default network's home transport (simnet/SimNetwork.cpp).
frequency_khz=346000
symbol_rate=6900000
qam=64
cat >"$work/initial" <<EOF
[CHANNEL]
	DELIVERY_SYSTEM = DVBC/ANNEX_A
	FREQUENCY = ${frequency_khz}000
	SYMBOL_RATE = $symbol_rate
	INNER_FEC = NONE
	MODULATION = QAM/$qam
	INVERSION = AUTO
EOF
mkdir -p "$work/config/kelvane" "$work/data"
cat >"$work/config/kelvane/card.ini" <<EOF
[Card]
Backend=dvb
HomeFrequency=$frequency_khz
SymbolRate=$((symbol_rate / 1000))
Modulation=$qam
EOF

now() { date +%s.%N; }
seconds() { echo "$1 $2" | awk '{ printf "%.1f", $2 - $1 }'; }

tick=
[ -n "${TICK_MS:-}" ] && tick="--tick-ms $TICK_MS"
tick="$tick${CLI_ARGS:+ $CLI_ARGS}"
tick=${tick# }

echo "| Scan | Run | Wall time | Found |"
echo "|---|---|---|---|"
run=1
while [ "$run" -le "$runs" ]; do
    rm -f "$work/dvb_channel.conf"
    began=$(now)
    (cd "$work" && env LD_PRELOAD="$preload" KELVANE_DVB_RETUNE_MS="$retune" \
        timeout 600 dvbv5-scan -o dvb_channel.conf initial >"$work/dvbv5.log" 2>&1) ||
        { echo "dvbv5-scan failed:" >&2; tail -5 "$work/dvbv5.log" >&2; exit 1; }
    ended=$(now)
    services=$(grep -c '^\[' "$work/dvb_channel.conf" || true)
    echo "| dvbv5-scan | $run | $(seconds "$began" "$ended") s | $services services |"

    rm -f "$work/board.db"
    began=$(now)
    # shellcheck disable=SC2086
    env XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" LD_PRELOAD="$preload" \
        KELVANE_DVB_RETUNE_MS="$retune" timeout 600 "$cli" scan --db "$work/board.db" $tick \
        >"$work/kelvane.out" 2>"$work/kelvane.log" ||
        { echo "kelvane-cli scan failed:" >&2; tail -5 "$work/kelvane.log" >&2; exit 1; }
    ended=$(now)
    summary=$(grep '^Scan: ' "$work/kelvane.log" | tail -1)
    programs=$(echo "$summary" | sed -n 's/^Scan: \([0-9]*\) added, \([0-9]*\) updated.*/\1 + \2/p')
    # The networks it heard on the way, where more than one.
    networks=$(grep '^Networks on this cable: ' "$work/kelvane.log" | tail -1 | sed 's/; scanning.*//')
    echo "| kelvane-cli scan${tick:+ $tick} | $run | $(seconds "$began" "$ended") s | $(( $programs )) programs ($summary${networks:+; $networks}) |"
    run=$((run + 1))
done
