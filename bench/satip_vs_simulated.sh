#!/bin/sh
# Times `kelvane-cli scan` over the simulated backend and over the emulated
# SAT>IP server (testing/tools/kelvane_satip_server, on loopback, sending the
# same network in real time), one after the other, and checks that both save
# the same programs.
#
#   bench/satip_vs_simulated.sh [BUILD_DIR] [RUNS] [NETWORK]
#
# BUILD_DIR (default: build) holds kelvane-cli and kelvane_satip_server
# (ninja -C build kelvane-cli kelvane_satip_server); RUNS (default 1) runs of
# each; NETWORK default, large or operator (default: default). TRANSPORT=tcp
# asks for RTP interleaved on the RTSP connection instead of UDP. Everything
# is written in a temporary folder.
set -eu

build=${1:-build}
runs=${2:-1}
network=${3:-default}
cli=$(cd "$build" && pwd)/kelvane-cli
server=$(cd "$build" && pwd)/kelvane_satip_server
for f in "$cli" "$server"; do
    [ -e "$f" ] || { echo "satip_vs_simulated.sh: $f is missing (ninja -C $build kelvane-cli kelvane_satip_server)" >&2; exit 1; }
done

work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$server" --network "$network" --seconds 3600 >"$work/server.out" 2>&1 &
server_pid=$!
port=
for _ in 1 2 3 4 5 6 7 8 9 10; do
    port=$(sed -n 's/^SAT>IP server on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.2
done
[ -n "$port" ] || { echo "satip_vs_simulated.sh: the server did not start:" >&2; cat "$work/server.out" >&2; exit 1; }

# The home transport of each network (simnet/SimNetwork.cpp).
case $network in
    operator) home=306000 ;;
    *) home=346000 ;;
esac
mkdir -p "$work/simulated/kelvane" "$work/satip/kelvane" "$work/data"
printf '[Card]\nBackend=simulated\nNetwork=%s\n' "$network" >"$work/simulated/kelvane/card.ini"
printf '[Card]\nBackend=satip\nServer=127.0.0.1:%s\nHomeFrequency=%s\nTransport=%s\n' \
    "$port" "$home" "${TRANSPORT:-udp}" >"$work/satip/kelvane/card.ini"

now() { date +%s.%N; }
seconds() { echo "$1 $2" | awk '{ printf "%.1f", $2 - $1 }'; }

echo "| Backend | Run | Wall time | Saved |"
echo "|---|---|---|---|"
run=1
while [ "$run" -le "$runs" ]; do
    for backend in simulated satip; do
        rm -f "$work/$backend.db"
        began=$(now)
        env XDG_CONFIG_HOME="$work/$backend" XDG_DATA_HOME="$work/data" timeout 600 \
            "$cli" scan --db "$work/$backend.db" >"$work/$backend.out" 2>"$work/$backend.log" ||
            { echo "kelvane-cli scan ($backend) failed:" >&2; tail -5 "$work/$backend.log" >&2; exit 1; }
        ended=$(now)
        "$cli" list --db "$work/$backend.db" >"$work/$backend.list"
        echo "| $backend | $run | $(seconds "$began" "$ended") s | $(($(wc -l <"$work/$backend.list") - 1)) programs |"
    done
    # The same programs; their order follows which SDT came first, which a
    # busy machine may change.
    for backend in simulated satip; do
        sed 's/^[0-9]* *//' "$work/$backend.list" | sort >"$work/$backend.rows"
    done
    cmp -s "$work/simulated.rows" "$work/satip.rows" ||
        { echo "satip_vs_simulated.sh: the lists differ:" >&2; diff "$work/simulated.rows" "$work/satip.rows" >&2; exit 1; }
    cmp -s "$work/simulated.list" "$work/satip.list" || echo "(run $run: the same programs, in another order)"
    run=$((run + 1))
done
