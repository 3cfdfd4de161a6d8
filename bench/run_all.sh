#!/usr/bin/env bash
# Runs every benchmark of bench/ and prints one table: measure | figure | goal | met?
#
#   bench/run_all.sh [--smoke] [--only NAME[,NAME...]] [BUILD_DIR]
#
# BUILD_DIR is the build directory (default: build). --smoke runs each
# benchmark with tiny counts, only to show that it still works (as ctest's
# bench_smoke does): its figures mean nothing and no goal is judged.
# NAME is one of poll, round, roundmem, store, eventlog, startup, idle, soak, history, web, historydl, mqtt, notices,
# network.
set -euo pipefail

smoke=0
only=""
build=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --only) only="$2"; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) build="$1" ;;
  esac
  shift
done
build="${build:-build}"
bin="$build/bin"
if [[ ! -x "$bin/poll_bench" ]]; then
  echo "no benchmarks in $bin: build first (cmake --build $build)" >&2
  exit 2
fi
export QT_QPA_PLATFORM=offscreen LC_ALL=C

if [[ $smoke == 1 ]]; then
  declare -A commands=(
    [poll]="poll_bench --count 3"
    [round]="round_bench --count 2 --devices 1,3 --baud 115200"
    [roundmem]="round_bench --memory --rounds 3 --devices 1,3"
    [store]="store_bench --count 3"
    [eventlog]="event_query_bench --rows 2000"
    [startup]="startup_bench --count 1"
    [idle]="idle_bench --seconds 2 --settle 1"
    [soak]="soak_bench --cycles 50 --checkpoint 10"
    [history]="history_bench --count 3 --year-days 1 --samples 200 --devices 4 --plant-days 1"
    [web]="web_bench --requests 20 --load-seconds 1 --idle-seconds 1"
    [historydl]="history_download_bench --seconds 1 --samples 2000 --tick-ms 100"
    [mqtt]="mqtt_bench --count 3"
    [notices]="notice_bench --count 20"
    [network]="network_bench --count 3"
  )
else
  # The long ones run with nice: the machine may be shared.
  declare -A commands=(
    [poll]="poll_bench --count 60"
    [round]="round_bench --count 30"
    [roundmem]="round_bench --memory --rounds 300"
    [store]="store_bench --count 100"
    [eventlog]="nice event_query_bench --rows 1000000"
    [startup]="startup_bench --count 15"
    [idle]="idle_bench --seconds 60 --settle 3"
    [soak]="nice soak_bench --cycles 20000 --checkpoint 1000"
    [history]="nice history_bench --count 100 --year-days 365 --samples 43200 --devices 32 --plant-days 365"
    [web]="web_bench --requests 1000 --load-seconds 10 --idle-seconds 30"
    [historydl]="history_download_bench --seconds 60"
    [mqtt]="mqtt_bench --count 300"
    [notices]="notice_bench --count 2000"
    [network]="network_bench --count 200"
  )
fi
order=(poll round roundmem store eventlog startup idle soak history web historydl mqtt notices network)

declare -A result=()
failed=()
for name in "${order[@]}"; do
  if [[ -n "$only" && ",$only," != *",$name,"* ]]; then
    continue
  fi
  read -r -a words <<<"${commands[$name]}"
  if [[ "${words[0]}" == nice ]]; then
    words=(nice "$bin/${words[1]}" "${words[@]:2}")
  else
    words=("$bin/${words[0]}" "${words[@]:1}")
  fi
  echo "== $name: ${words[*]}"
  if ! output=$("${words[@]}"); then
    echo "$output"
    echo "!! $name failed" >&2
    failed+=("$name")
    continue
  fi
  echo "$output" | grep -v '^RESULT ' || true
  while read -r tag key value _; do
    [[ "$tag" == RESULT ]] && result[$key]=$value
  done <<<"$output"
done

# value KEY: the figure, or an empty text when that benchmark did not run.
value() { echo "${result[$1]:-}"; }
# judge FIGURE OP LIMIT: yes/no, "-" when there is no figure, "(smoke)" in smoke runs.
judge() {
  if [[ -z "$1" ]]; then echo "-"; return; fi
  if [[ $smoke == 1 ]]; then echo "(smoke)"; return; fi
  awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN { ok = (op == "<") ? (a < b) : (a <= b); print ok ? "yes" : "NO" }'
}
fmt() { [[ -z "$2" ]] && echo "-" || printf "$1" "$2"; }
row() { printf '| %-44s | %-38s | %-34s | %-7s |\n' "$1" "$2" "$3" "$4"; }

raw9600=$(value poll9600.raw_ms); wire9600=$(value poll9600.wire_ms)
rawLimit9600=""; [[ -n "$wire9600" ]] && rawLimit9600=$(awk -v w="$wire9600" 'BEGIN { print w * 1.1 }')

echo
row "Measure" "Figure" "Goal" "Met?"
row "--------------------------------------------" "--------------------------------------" "----------------------------------" "-------"
row "poll 9600 baud: station cycle over raw" "$(fmt '%+.1f %%' "$(value poll9600.overhead_pct)") ($(fmt '%.1f' "$(value poll9600.station_ms)") vs $(fmt '%.1f ms' "$raw9600"))" "within 3 %" "$(judge "$(value poll9600.overhead_pct)" '<=' 3)"
row "poll 9600 baud: raw exchange over wire" "$(fmt '%.1f ms' "$raw9600") (wire $(fmt '%.1f ms' "$wire9600"))" "within 10 % of the wire time" "$(judge "$raw9600" '<=' "${rawLimit9600:-0}")"
row "poll 115200 baud: station cycle over raw" "$(fmt '%+.2f ms' "$(value poll115200.overhead_ms)") ($(fmt '%.2f' "$(value poll115200.station_ms)") vs $(fmt '%.2f ms' "$(value poll115200.raw_ms)"))" "at most 1 ms" "$(judge "$(value poll115200.overhead_ms)" '<=' 1)"
for n in 1 4 16 32; do
  if [[ -n "$(value round9600x$n.over_per_device_ms)" ]]; then
    row "round of $n devices, 9600 baud: over raw, a device" "$(fmt '%+.3f ms' "$(value round9600x$n.over_per_device_ms)") ($(fmt '%.1f' "$(value round9600x$n.station_ms)") vs $(fmt '%.1f ms' "$(value round9600x$n.raw_ms)"))" "at most 1 ms" "$(judge "$(value round9600x$n.over_per_device_ms)" '<=' 1)"
  fi
  if [[ -n "$(value round115200x$n.over_per_device_ms)" ]]; then
    row "round of $n devices, 115200 baud: over raw, a device" "$(fmt '%+.3f ms' "$(value round115200x$n.over_per_device_ms)") ($(fmt '%.2f' "$(value round115200x$n.station_ms)") vs $(fmt '%.2f ms' "$(value round115200x$n.raw_ms)"))" "at most 0.5 ms" "$(judge "$(value round115200x$n.over_per_device_ms)" '<=' 0.5)"
  fi
done
row "window polling the most devices: resident memory" "$(fmt '%.1f MB' "$(value round.rss_mb_x32)")" "under 80 MB" "$(judge "$(value round.rss_mb_x32)" '<' 80)"
row "resident memory per added device" "$(fmt '%.3f MB' "$(value round.rss_growth_per_device_mb)")" "under 1 MB" "$(judge "$(value round.rss_growth_per_device_mb)" '<' 1)"
row "  (in the station's cycle: port open + close)" "$(fmt '%.2f ms' "$(value poll9600.openclose_ms)") at 9600, $(fmt '%.2f ms' "$(value poll115200.openclose_ms)") at 115200" "" ""
row "decoding: check + decode of one reply" "$(fmt '%.2f us' "$(value decode.us)")" "under 2 us" "$(judge "$(value decode.us)" '<' 2)"
row "event viewer: one day, newest first" "$(fmt '%.2f ms' "$(value eventlog.day_ms)") ($(fmt '%.0f' "$(value eventlog.rows)") rows)" "under 20 ms" "$(judge "$(value eventlog.day_ms)" '<' 20)"
row "event viewer: clearing the log" "$(fmt '%.0f ms' "$(value eventlog.clear_ms)")" "under 2 s" "$(judge "$(value eventlog.clear_ms)" '<' 2000)"
row "event store: logEvent of one row" "$(fmt '%.2f ms' "$(value logevent.ms)") (one flush $(fmt '%.2f ms' "$(value flush.ms)"))" "under 5 ms" "$(judge "$(value logevent.ms)" '<' 5)"
row "saving values: saveParamValues, 30 rows" "$(fmt '%.2f ms' "$(value saveparams.ms)")" "under 10 ms" "$(judge "$(value saveparams.ms)" '<' 10)"
row "start-up to main window shown" "$(fmt '%.0f ms' "$(value startup.ms)")" "under 400 ms" "$(judge "$(value startup.ms)" '<' 400)"
row "idle cost, polling off" "$(fmt '%.2f %% of a core' "$(value idle.off_pct)")" "under 1 %" "$(judge "$(value idle.off_pct)" '<' 1)"
row "idle cost, polling every second" "$(fmt '%.2f %% of a core' "$(value idle.polling_pct)")" "under 3 %" "$(judge "$(value idle.polling_pct)" '<' 3)"
row "memory: growth after the checkpoint" "$(fmt '%+.2f MB' "$(value soak.growth_mb)")" "at most 2 MB" "$(judge "$(value soak.growth_mb)" '<=' 2)"
row "memory: resident at the end" "$(fmt '%.1f MB' "$(value soak.rss_end_mb)")" "under 120 MB" "$(judge "$(value soak.rss_end_mb)" '<' 120)"
storeOver=""; [[ -n "$(value history.store_ms)" && -n "$(value history.flush_ms)" ]] && \
  storeOver=$(awk -v s="$(value history.store_ms)" -v f="$(value history.flush_ms)" 'BEGIN { print s - f }')
row "history: storing one sample, beyond a flush" "$(fmt '%+.2f ms' "$storeOver") ($(fmt '%.2f' "$(value history.store_ms)") vs $(fmt '%.2f ms' "$(value history.flush_ms)"), CPU $(fmt '%.2f ms' "$(value history.store_cpu_ms)"))" "under 1 ms" "$(judge "$storeOver" '<' 1)"
row "history: a day, 4 parameters, query + chart" "$(fmt '%.1f ms' "$(value history.day_ms)")" "under 20 ms" "$(judge "$(value history.day_ms)" '<' 20)"
row "history: a month over a year of 10 s samples" "$(fmt '%.0f ms' "$(value history.month_ms)") ($(fmt '%.0f' "$(value history.month_points)") points)" "under 100 ms" "$(judge "$(value history.month_ms)" '<' 100)"
row "history: daily yield bars for a year" "$(fmt '%.2f ms' "$(value history.yield_ms)")" "under 10 ms" "$(judge "$(value history.yield_ms)" '<' 10)"
row "history: pruning, slowest batch" "$(fmt '%.1f ms' "$(value history.prune_batch_ms)")" "under 20 ms" "$(judge "$(value history.prune_batch_ms)" '<' 20)"
row "history: a year of 60 s samples of one device" "$(fmt '%.1f MB' "$(value history.year_mb)") ($(fmt '%.1f B' "$(value history.bytes_per_sample)")/sample)" "under 30 MB" "$(judge "$(value history.year_mb)" '<' 30)"
row "history: one device's month, a plant recorded at 60 s" "$(fmt '%.0f ms' "$(value history.plant_month_ms)") ($(fmt '%.1f B' "$(value history.plant_bytes_per_sample)")/device-sample)" "under 100 ms" "$(judge "$(value history.plant_month_ms)" '<' 100)"
row "history: CSV of a month of 60 s samples" "$(fmt '%.0f ms' "$(value history.csv_month_ms)")" "under 1 s" "$(judge "$(value history.csv_month_ms)" '<' 1000)"
row "web: /api/v1/status, one client, median" "$(fmt '%.3f ms' "$(value web.status_ms)")" "under 2 ms" "$(judge "$(value web.status_ms)" '<' 2)"
row "web: /metrics, one client, median" "$(fmt '%.3f ms' "$(value web.metrics_ms)")" "under 2 ms" "$(judge "$(value web.metrics_ms)" '<' 2)"
row "web: 200 req/s, failed requests" "$(fmt '%.0f' "$(value web.load_failed)") of $(fmt '%.0f' "$(value web.load_requests)")" "none" "$(judge "$(value web.load_failed)" '<=' 0)"
row "web: 200 req/s, poll cycle median shift" "$(fmt '%+.2f ms' "$(value web.cycle_shift_ms)")" "within 1 ms" "$(judge "$(value web.cycle_shift_ms)" '<=' 1)"
row "web: idle cost, server on minus off" "$(fmt '%+.3f %% of a core' "$(value web.idle_delta_pct)")" "within 0.1 %" "$(judge "$(value web.idle_delta_pct)" '<=' 0.1)"
row "web: poll cycles/min, largest CSV back to back" "$(fmt '%.1f' "$(value historydl.loaded_per_min)") vs $(fmt '%.1f' "$(value historydl.quiet_per_min)") without" "as many as without" "$(judge "$(awk -v q="$(value historydl.quiet_per_min)" -v l="$(value historydl.loaded_per_min)" 'BEGIN { if (q != "" && l != "") print q - l }')" '<=' 1)"
row "  (cycle median with / without the client)" "$(fmt '%.1f' "$(value historydl.loaded_median_ms)") / $(fmt '%.1f ms' "$(value historydl.quiet_median_ms)"), longest wait $(fmt '%.0f ms' "$(value historydl.loaded_wait_ms)")" "" ""
row "MQTT: added to the poll path, broker on loopback" "$(fmt '%.3f ms' "$(value mqtt.handover_on_ms)") (whole cycle $(fmt '%+.2f ms' "$(value mqtt.added_ms)"))" "median under 0.2 ms" "$(judge "$(value mqtt.handover_on_ms)" '<' 0.2)"
row "notices: hand-over on the poll path" "$(fmt '%.4f ms' "$(value notices.handover_open_ms)") (window shut $(fmt '%.4f ms' "$(value notices.handover_shut_ms)"))" "median under 0.1 ms" "$(judge "$(value notices.handover_shut_ms)" '<' 0.1)"
row "MQTT: poll path, broker not answering" "$(fmt '%.3f ms' "$(value mqtt.handover_unreachable_ms)") (whole cycle $(fmt '%+.2f ms' "$(value mqtt.unreachable_added_ms)"))" "unchanged within 1 ms median" "$(judge "$(value mqtt.handover_unreachable_ms)" '<=' 1)"
row "network line: tcp:// poll over a raw socket exchange" "$(fmt '%+.3f ms' "$(value tcp.overhead_ms)") (held open $(fmt '%+.3f ms' "$(value tcp.held_open_overhead_ms)"))" "within 0.5 ms" "$(judge "$(value tcp.overhead_ms)" '<=' 0.5)"
row "network line: modbus-tcp:// poll over a raw socket exchange" "$(fmt '%+.3f ms' "$(value modbus_tcp.overhead_ms)") (held open $(fmt '%+.3f ms' "$(value modbus_tcp.held_open_overhead_ms)"))" "within 0.5 ms" "$(judge "$(value modbus_tcp.overhead_ms)" '<=' 0.5)"

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
if [[ $smoke == 1 ]]; then
  # Every benchmark ran: each must have left its figures.
  for key in poll9600.station_ms poll115200.station_ms decode.us logevent.ms saveparams.ms eventlog.day_ms \
             eventlog.clear_ms startup.ms idle.off_pct idle.polling_pct soak.growth_mb history.store_ms \
             history.month_ms history.csv_month_ms web.status_ms historydl.loaded_per_min mqtt.added_ms tcp.overhead_ms; do
    if [[ -z "$only" && -z "$(value $key)" ]]; then
      echo "missing figure $key" >&2
      exit 1
    fi
  done
fi
