#!/usr/bin/env bash
# Converts damaged copies of a log with the Linux x86-64, Windows (under Wine)
# and Linux AArch64 (under qemu) programs, with several option sets, and
# requires the same console output, exit status, .obs and .nav from all three
# (Windows read with CR LF as LF), and the same bytes of the compressed
# Compact RINEX and navigation files, which hold LF on every platform.
#
# same_bytes.sh LINUX_EXE WINDOWS_EXE AARCH64_EXE DAMAGE_TOOL LOG COUNT
# With GENERATOR set to the log generator, a long generated log too.
set -euo pipefail
linux=$(realpath "$1") windows=$(realpath "$2") arm=$(realpath "$3") damage=$(realpath "$4")
log=$5 count=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$damage" "$log" "$work" "$count"
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC WINEDEBUG=-all
wineserver -p >/dev/null 2>&1 || true
option_sets=("-dual_freq" "G r" "E C J S -dual_freq" "--crx --gzip -dual_freq")

run() {  # target directory options...
  local target=$1 dir=$2
  shift 2
  case $target in
    linux) (cd "$dir" && "$linux" log.dat "$@") ;;
    windows) (cd "$dir" && wine "$windows" log.dat "$@") ;;
    arm) (cd "$dir" && qemu-aarch64 -L /usr/aarch64-linux-gnu "$arm" log.dat "$@") ;;
  esac >"$dir/console.txt" 2>/dev/null && echo 0 >"$dir/status" || echo $? >"$dir/status"
}

crlf_to_lf() { perl -0pe 's/\r\n/\n/g' "$1"; }

# 0 when the target's console, status and files are the Linux program's.
matches() {  # target
  local target=$1 file
  for file in console.txt status log.obs log.nav log.crx.gz log.nav.gz; do
    [ -e "$work/linux/$file" ] || continue
    if [ "$target" = windows ] && [ "${file%.gz}" = "$file" ]; then
      crlf_to_lf "$work/windows/$file" | cmp -s - "$work/linux/$file" || return 1
    else
      cmp -s "$work/$target/$file" "$work/linux/$file" || return 1
    fi
  done
}

identical=0
different=0
retried=0
for f in "$work"/damaged_*.dat; do
  for opts in "${option_sets[@]}"; do
    for target in linux windows arm; do
      rm -rf "${work:?}/$target" && mkdir "$work/$target" && cp "$f" "$work/$target/log.dat"
      # shellcheck disable=SC2086
      run "$target" "$work/$target" $opts
    done
    same=1
    for target in windows arm; do
      if ! matches "$target"; then
        # Once more: an emulator now and then fails to start a program (an empty
        # run); a real difference between the platforms comes back.
        retried=$((retried + 1))
        rm -rf "${work:?}/$target" && mkdir "$work/$target" && cp "$f" "$work/$target/log.dat"
        # shellcheck disable=SC2086
        run "$target" "$work/$target" $opts
        matches "$target" || same=0
      fi
    done
    if [ $same = 1 ]; then
      identical=$((identical + 1))
    else
      different=$((different + 1))
      echo "different: $(basename "$f") with options '$opts'"
    fi
  done
done
# A generated 10 Hz log of 15 minutes: records of several gzip members,
# compressed on threads; three runs and three platforms, the same bytes.
if [ -n "${GENERATOR:-}" ]; then
  "$GENERATOR" "$work/big.dat" --seconds 900 --rate 10 >/dev/null
  for opts in "--crx --gzip -dual_freq" "--gzip -dual_freq --rinex-version 3.05"; do
    for target in linux linux2 linux3 windows arm; do
      rm -rf "${work:?}/$target" && mkdir "$work/$target" && cp "$work/big.dat" "$work/$target/log.dat"
      # shellcheck disable=SC2086
      run "${target%[23]}" "$work/$target" $opts
    done
    same=1
    for target in linux2 linux3 windows arm; do
      for file in log.crx.gz log.obs.gz log.nav.gz; do
        [ -e "$work/linux/$file" ] || continue
        cmp -s "$work/$target/$file" "$work/linux/$file" || same=0
      done
    done
    members=$(python3 -c "import sys; d=open(sys.argv[1],'rb').read(); print(d.count(b'\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff'))" \
      "$work/linux/$(cd "$work/linux" && ls log.*o*.gz log.crx.gz 2>/dev/null | head -n 1)")
    if [ $same = 1 ]; then
      identical=$((identical + 1))
      echo "15 minutes at 10 Hz with '$opts': the same bytes from three runs and three platforms ($members gzip members)"
    else
      different=$((different + 1))
      echo "different: 15 minutes at 10 Hz with options '$opts'"
    fi
  done
fi
echo "same bytes on all three platforms: $identical identical, $different different ($retried runs repeated)"
[ "$different" = 0 ]
