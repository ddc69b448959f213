#!/usr/bin/env bash
# The app's idle cost: CPU per second, wakeups (context switches) per second and resident memory,
# read from /proc while it runs against the simulated Mac. Not a test: it prints figures.
#   bench/measure_app_idle.sh [build dir, default build/release] [seconds, default 60] [mode]
# mode "menubar" (the default): the menu-bar app with the panel closed, on its own X server with
# a tray. Mode "headless-curve": the app from its signed bundle with the helper installed, headless
# in curve mode, so every refresh also decides on a lease and every fifth second the helper is
# asked to renew it; the refresh count gives the app's own CPU time per refresh. Mode
# "headless-system": the same in system mode (no leases), to tell the leases' share apart.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
seconds="${2:-60}"
mode="${3:-menubar}"
case "$mode" in
menubar) app="$build/app/AerivoMac"; needs=(/usr/bin/Xvfb /usr/bin/trayer) ;;
headless-curve | headless-system) app="$build/Aerivo Mac.app/Contents/MacOS/AerivoMac"; needs=() ;;
*) echo "measure_app_idle: mode is menubar, headless-curve or headless-system" >&2; exit 2 ;;
esac
sim="$build/sim/aerivo-sim-mac"
for program in "$app" "$sim" "${needs[@]}"; do
    [[ -x "$program" ]] || { echo "measure_app_idle: $program is missing (build, scripts/bootstrap)" >&2; exit 1; }
done

root=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
mkdir -m 700 "$root/run"

if [[ "$mode" == menubar ]]; then
    exec 3> >(cat > "$root/display")
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset > "$root/xvfb.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    for _ in $(seq 100); do [[ -s "$root/display" ]] && break; sleep 0.1; done
    export DISPLAY=":$(tr -dc 0-9 < "$root/display")"
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false > "$root/trayer.log" 2>&1 &
    pids+=($!)
fi
"$sim" --root "$root" --model laptop-2fan --seed 1 --workload idle > "$root/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -S "$root/var/run/aerivo-sim-mac.sock" ]] && break; sleep 0.1; done
sleep 1

export AERIVO_SYSTEM_ROOT="$root" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/run"
if [[ "$mode" == headless-* ]]; then
    "$app" --install-helper > "$root/install.log" 2>&1
    grep -q '^helperFanWritesEnabled=true$' "$root/install.log" ||
        { echo "measure_app_idle: the helper did not install" >&2; cat "$root/install.log" >&2; exit 1; }
    "$app" --headless --mode "${mode#headless-}" > "$root/app.log" 2>&1 &
else
    "$app" > "$root/app.log" 2>&1 &
fi
app_pid=$!
pids+=($app_pid)
sleep 10 # start-up (the health read hands the fan back once), first refreshes and leases

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
# Nanoseconds on a CPU, summed over the threads: finer than the clock ticks of stat.
cpu_ns() { cat /proc/"$app_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%d", ns}'; }
switches() { # voluntary and involuntary context switches of every thread
    cat /proc/"$app_pid"/task/*/status | awk '/^voluntary_ctxt_switches/ {v += $2}
        /^nonvoluntary_ctxt_switches/ {n += $2} END {print v, n}'
}
main_switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$app_pid/status"; }

main_ns() { awk '{print $1}' "/proc/$app_pid/task/$app_pid/schedstat"; }
count() { grep -c "^$1=" "$root/app.log" || true; }

cpu0=$(cpu_ticks); ns0=$(cpu_ns); read -r vol0 invol0 < <(switches); main0=$(main_switches); t0=$(date +%s.%N)
mns0=$(main_ns); refreshes0=$(count refresh); leases0=$(count lease)
sleep "$seconds"
cpu1=$(cpu_ticks); ns1=$(cpu_ns); read -r vol1 invol1 < <(switches); main1=$(main_switches); t1=$(date +%s.%N)
mns1=$(main_ns); refreshes1=$(count refresh); leases1=$(count lease)
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status")
threads=$(ls "/proc/$app_pid/task" | wc -l)

awk -v c0="$cpu0" -v c1="$cpu1" -v hz="$ticks" -v ns0="$ns0" -v ns1="$ns1" -v t0="$t0" -v t1="$t1" \
    -v v0="$vol0" -v v1="$vol1" -v n0="$invol0" -v n1="$invol1" -v m0="$main0" -v m1="$main1" \
    -v rss="$rss_kb" -v threads="$threads" -v mns0="$mns0" -v mns1="$mns1" \
    -v r0="$refreshes0" -v r1="$refreshes1" -v l0="$leases0" -v l1="$leases1" -v mode="$mode" 'BEGIN {
    elapsed = t1 - t0
    printf "idle_seconds=%.1f\n", elapsed
    printf "cpu_percent_of_one_core=%.4f\n", 100 * (ns1 - ns0) / 1e9 / elapsed
    printf "cpu_ticks=%d (of %d per second)\n", c1 - c0, hz
    # Voluntary switches: every sleep of a thread, which includes the waits for the replies of
    # the simulated Mac inside each refresh, not only the wakeups of the refresh timer.
    printf "voluntary_switches_per_second=%.2f\n", (v1 - v0) / elapsed
    printf "main_thread_voluntary_switches_per_second=%.2f\n", (m1 - m0) / elapsed
    printf "involuntary_switches_per_second=%.2f\n", (n1 - n0) / elapsed
    printf "resident_mb=%.1f\n", rss / 1024
    printf "threads=%d\n", threads
    if (mode ~ /^headless-/) {
        printf "refreshes=%d leases=%d\n", r1 - r0, l1 - l0
        # CPU of the main loop per refresh (the lease round trips run on the thread of the
        # lease queue), and all the process spent, per refresh.
        if (r1 > r0) {
            printf "main_thread_cpu_us_per_refresh=%.1f\n", (mns1 - mns0) / 1000 / (r1 - r0)
            printf "process_cpu_us_per_refresh=%.1f\n", (ns1 - ns0) / 1000 / (r1 - r0)
        }
    }
}'
