#!/bin/busybox sh
# /init of the guest: loads vidtv as the kernel command line's kt= says,
# runs the probe, dvbv5-scan and kelvane-cli, and writes what they found to
# the second serial port, one tagged line each; then powers off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /tmp /run
mount -t tmpfs tmp /tmp
dmesg -n 1
export PATH=/bin:/usr/bin LD_LIBRARY_PATH=/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu
OUT=/dev/ttyS1
say() { echo "$*" >"$OUT"; }
now() { cut -d' ' -f1 /proc/uptime; }
# Every step has its limit, so a hang ends the boot instead of the time-out
# of the whole run.
limited() { timeout "$@"; }
send() {
    # FILE name|line, so the host gets a file back byte for byte but the
    # trailing blanks (dvbv5 files have none that matter).
    [ -f "$2" ] || { say "FILE $1|"; return; }
    while IFS= read -r line || [ -n "$line" ]; do say "FILE $1|$line"; done <"$2"
}

MODE=$(sed -n 's/.*kt=\([a-z]*\).*/\1/p' /proc/cmdline)
say "MODE $MODE"
PARAMS=""
case "$MODE" in
    patched) PARAMS="vidtv_valid_dvb_c_freqs=474000000,490000000 audio_stream_type=3" ;;
    slow) PARAMS="vidtv_valid_dvb_c_freqs=474000000,490000000 audio_stream_type=3 mock_tune_delay_msec=2000" ;;
esac
VARIANT=released
[ "$MODE" = released ] || VARIANT=patched
for m in /lib/kt/mc.ko /lib/kt/dvb-core.ko /lib/kt/$VARIANT/dvb-vidtv-tuner.ko /lib/kt/$VARIANT/dvb-vidtv-demod.ko; do
    insmod "$m" || say "INSMOD failed $m"
done
# shellcheck disable=SC2086
insmod /lib/kt/$VARIANT/dvb-vidtv-bridge.ko $PARAMS || say "INSMOD failed dvb-vidtv-bridge.ko $PARAMS"
i=0
while [ ! -e /dev/dvb/adapter0/frontend0 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
say "LOADED $([ -e /dev/dvb/adapter0/frontend0 ] && echo yes || echo no)"
say "TAINT $(cat /proc/sys/kernel/tainted)"

case "$MODE" in
    released) limited 60 /bin/probe 474000000 >/tmp/probe.txt 2>&1; say "RC probe $?" ;;
    slow) limited 60 /bin/probe 474000000 lock >/tmp/probe.txt 2>&1; say "RC probe $?" ;;
esac
[ -f /tmp/probe.txt ] && while read -r line; do say "$line"; done </tmp/probe.txt

# kelvane-cli scan NAME [HomeFrequency]: a fresh configuration, the scan,
# the program list exported as a dvbv5 file, card.ini afterwards.
kelvane() {
    home=/tmp/$1
    mkdir -p "$home/config/kelvane" "$home/data"
    {
        echo "[Card]"
        echo "Backend=dvb"
        echo "Adapter=0"
        [ -n "$2" ] && echo "HomeFrequency=$2"
    } >"$home/config/kelvane/card.ini"
    t0=$(now)
    XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data HOME=$home \
        limited "$3" kelvane-cli scan --verbose --db "$home/board.db" >"$home/scan.log" 2>&1
    rc=$?
    t1=$(now)
    say "RC $1 $rc"
    say "TIME $1 $t0 $t1"
    XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data HOME=$home \
        limited 60 kelvane-cli export --format dvbv5 --db "$home/board.db" -o "$home/export.conf" >>"$home/scan.log" 2>&1
    send "$1" "$home/export.conf"
    send "$1.card.ini" "$home/config/kelvane/card.ini"
    { head -n 4 "$home/scan.log"; echo ...; tail -n 8 "$home/scan.log"; } | while IFS= read -r line; do say "LOG $1|$line"; done
}

# Without HomeFrequency the network must be looked for: before anything
# else has tuned, so the tuner stands nowhere.
[ "$MODE" = patched ] && kelvane kelvane-raster "" 600

t0=$(now)
limited 300 dvbv5-scan -o /tmp/dvbv5-scan.conf /etc/kt/initial.conf >/tmp/dvbv5-scan.log 2>&1
rc=$?
t1=$(now)
say "RC dvbv5-scan $rc"
say "TIME dvbv5-scan $t0 $t1"
send dvbv5-scan /tmp/dvbv5-scan.conf
tail -n 5 /tmp/dvbv5-scan.log >/dev/console

case "$MODE" in
    released) kelvane kelvane-home 474000 120 ;;
    patched) kelvane kelvane-home 474000 120 ;;
    slow) kelvane kelvane-home 474000 180 ;;
esac
say "DONE"
sync
poweroff -f
