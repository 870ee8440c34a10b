#!/usr/bin/env bash
# Live sources give the bytes of a file conversion on every platform: the
# Linux x86-64 and AArch64 programs read a generated log from a pipe, the
# Windows program from a serial port (a pseudo-terminal that Wine maps to
# COM9), each into 15-minute files with --crx --gzip (LF on every platform);
# every period file must equal the Linux program's conversion of the log read
# as a file with the live sources' flush (--flush 10: a gzip member every 10 s
# of data), and hold, unpacked, the bytes of a conversion without flushes.
#
# live_same_bytes.sh LINUX_EXE WINDOWS_EXE AARCH64_EXE GENERATOR
set -euo pipefail
linux=$(realpath "$1") windows=$(realpath "$2") arm=$(realpath "$3") generator=$(realpath "$4")
work=$(mktemp -d)
com=~/.wine/dosdevices/com9
trap 'rm -rf "$work"; rm -f "$com"' EXIT
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC WINEDEBUG=-all
"$generator" "$work/log.dat" --seconds 2000 >/dev/null
options=(-dual_freq --split 15m --crx --gzip --close-after 2)
mkdir "$work/file" "$work/whole" "$work/pipe" "$work/arm" "$work/windows"
# Status 1 is a complete conversion.
(cd "$work/file" && "$linux" ../log.dat "${options[@]}" --flush 10 >/dev/null) || [ $? = 1 ]
(cd "$work/whole" && "$linux" ../log.dat "${options[@]}" >/dev/null) || [ $? = 1 ]
(cd "$work/pipe" && "$linux" - "${options[@]}" <../log.dat >/dev/null) || [ $? = 1 ]
(cd "$work/arm" && qemu-aarch64 -L /usr/aarch64-linux-gnu "$arm" - "${options[@]}" <../log.dat >/dev/null) ||
  [ $? = 1 ]

# The serial line: the feeder makes the pair, waits for the program to open
# it, writes the log in 4 KiB pieces and keeps the line open but silent.
wineserver -p >/dev/null 2>&1 || true
mkdir -p "$(dirname "$com")"
python3 - "$work/log.dat" "$com" >"$work/feeder.txt" 2>&1 <<'PY' &
import os, pty, sys, time, tty
master, slave = pty.openpty()
tty.setraw(slave)
if os.path.lexists(sys.argv[2]):
    os.unlink(sys.argv[2])
os.symlink(os.ttyname(slave), sys.argv[2])
print("ready", flush=True)
time.sleep(3)
data = open(sys.argv[1], "rb").read()
for at in range(0, len(data), 4096):
    os.write(master, data[at:at + 4096])
time.sleep(60)
PY
feeder=$!
for _ in $(seq 50); do grep -q ready "$work/feeder.txt" && break; sleep 0.1; done
(cd "$work/windows" && exec wine "$windows" serial://COM9 "${options[@]}" >console.txt 2>&1) &
program=$!
want=$(cd "$work/file" && ls ./*_MO.crx.gz | wc -l)
for _ in $(seq 600); do
  [ "$(cd "$work/windows" && ls ./*_MO.crx.gz 2>/dev/null | wc -l)" -ge "$want" ] && break
  sleep 0.1
done
kill -INT $program 2>/dev/null || true
wait $program || true
kill $feeder 2>/dev/null || true
wait $feeder 2>/dev/null || true

fail=0
for f in "$work"/file/*.gz; do
  for target in pipe arm windows; do
    cmp -s "$work/$target/$(basename "$f")" "$f" || { echo "differs: $target $(basename "$f")"; fail=1; }
  done
  cmp -s <(gzip -dc "$f") <(gzip -dc "$work/whole/$(basename "$f")") ||
    { echo "differs unpacked from the conversion without flushes: $(basename "$f")"; fail=1; }
done
echo "live sources: $want periods from a pipe (x86-64, AArch64) and a serial port (Windows) against the file conversion: $([ $fail = 0 ] && echo same bytes || echo DIFFERENT)"
exit $fail
