#!/usr/bin/env bash
# The savings benchmark: serves the corpus with nginx (gzip on) on loopback,
# measures what headless Chromium fetches for each page (from nginx's access
# log), then makes each page with the service's page maker at three settings
# and prints the comparison. Not a test; run by hand:
#   bash bench/savings/run.sh [corpus folder] [folder to keep the screenshots in]
# The pages go through the real service when the tree has it (or when
# ZELSERVICE names a built zelservice); otherwise the page maker is called
# directly.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
corpus="$(realpath -m "${1:-$here/corpus}")" # nginx needs an absolute root
shots="${2:-}"
# Another run on the same machine takes other ports: ZEL_BENCH_PORT=8981.
# ZEL_BENCH_SHOTS: the settings and pixel ratios screenshots are taken at;
# ZEL_BENCH_SETTINGS=100/256: only that setting;
# ZEL_SERVICE_ARGS: more options for the service (e.g. longer limits on a
# loaded machine); ZEL_BENCH_WARM=0: no second pass with a warm cache;
# ZEL_BENCH_PAGES: a list of pages like pages.txt to make instead of it.
port="${ZEL_BENCH_PORT:-8971}"
shot_settings="${ZEL_BENCH_SHOTS:-100-256:1 100-256:2 50-64:1 30-32:1}"

[ -d "$corpus/root/usr/share/doc" ] || bash "$here/fetch-corpus.sh" "$corpus"
share="$corpus/root/usr/share"

bash "$here/make-galleries.sh" "$share"
bash "$here/make-markup-pages.sh" "$share"
bash "$here/make-news-pages.sh" "$share"

work="$(mktemp -d)"
trap 'kill "$nginx_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/nginx/logs"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  log_format bench '\$request_uri \$status \$body_bytes_sent \$bytes_sent';
  access_log $work/nginx/access.log bench;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  gzip on;
  gzip_types text/plain text/css application/javascript application/json image/svg+xml application/xml;
  server {
    listen 127.0.0.1:$port;
    root $share;
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx.conf" &
nginx_pid=$!
sleep 1
kill -0 "$nginx_pid" 2>/dev/null || { echo "nginx did not start: is port $port taken?" >&2; exit 1; }

# A page as headless Chromium shows it, in a fresh profile, on a screen of
# the given pixel ratio (default 1), every part painted before the shot (on a
# loaded machine the last tiles of a large screenshot were left blank):
#   screenshot <png> <address> [ratio]
screenshot() {
  local profile
  profile="$(mktemp -d)"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --window-size=1280,2000 --virtual-time-budget=15000 \
    --force-device-scale-factor="${3:-1}" --run-all-compositor-stages-before-draw --screenshot="$1" "$2" </dev/null >/dev/null 2>&1 || true
  rm -rf "$profile"
}

# Baseline: what a real browser fetches for each page, from the access log,
# and how it shows the page.
baseline="$work/baseline.txt"
: >"$baseline"
mkdir -p "$work/shots"
page=0
grep -v '^#' "${ZEL_BENCH_PAGES:-$here/pages.txt}" | while read -r path; do
  [ -n "$path" ] || continue
  url="http://127.0.0.1:$port/$path"
  status="$(curl -s -o /dev/null -w '%{http_code}' "$url")"
  [ "$status" = 200 ] || { echo "the origin answers $status for $path: is the corpus complete?" >&2; exit 1; }
  before=$(wc -l <"$work/nginx/access.log")
  screenshot "$work/shots/original-$page.png" "$url"
  sleep 0.5
  tail -n +"$((before + 1))" "$work/nginx/access.log" |
    awk -v url="$url" '{ body += $3; all += $4 } END { print url, body + 0, all + 0 }' >>"$baseline"
  # After the count: a second load would count every byte twice.
  screenshot "$work/shots/original-2x-$page.png" "$url" 2
  page=$((page + 1))
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$repo/build-bench" -G Ninja "${launcher[@]}" >/dev/null
nice ninja -C "$repo/build-bench" -j2 zel_bench_savings zel_ssim >/dev/null
archives="$work/archives"

service_args=()
zelservice="${ZELSERVICE:-}"
if [ -z "$zelservice" ] && [ -f "$repo/service/program/main.cpp" ]; then
  cmake -S "$repo" -B "$repo/build" -G Ninja "${launcher[@]}" >/dev/null
  nice ninja -C "$repo/build" -j2 zelservice >/dev/null
  zelservice="$(find "$repo/build" -type f -name zelservice -perm -u+x | head -n 1)"
fi
if [ -n "$zelservice" ]; then
  service_port=$((port + 1))
  # shellcheck disable=SC2086 # the extra options are words
  "$zelservice" --listen 127.0.0.1 --port "$service_port" --data "$work/service" \
    --allow-private-origins ${ZEL_SERVICE_ARGS:-} >"$work/service.log" 2>&1 &
  service_pid=$!
  trap 'kill "$nginx_pid" "$service_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
  sleep 1
  reply="$(curl -s "http://127.0.0.1:$service_port/zel/login?comp=bench&mail=bench@example.org")"
  login="$(echo "$reply" | sed -n 's/^OK,Your login is \([a-z0-9]*\) .*/\1/p')"
  [ -n "$login" ] || { echo "no login from the service: $reply" >&2; exit 1; }
  # A second login: every page again, with the cache the first one filled.
  reply="$(curl -s "http://127.0.0.1:$service_port/zel/login?comp=bench&mail=warm@example.org")"
  warm_login="$(echo "$reply" | sed -n 's/^OK,Your login is \([a-z0-9]*\) .*/\1/p')"
  service_args=(--service "http://127.0.0.1:$service_port" "$login" --service-pid "$service_pid")
  [ -z "$warm_login" ] || [ "${ZEL_BENCH_WARM:-1}" = 0 ] || service_args+=(--warm-login "$warm_login")
else
  service_args=(--warm)
fi
service_args+=(--origin-log "$work/nginx/access.log")
VIPS_WARNING=0 "$repo/build-bench/zel_bench_savings" "$baseline" "$archives" "${service_args[@]}" \
  >"$work/figures.txt" 2>"$work/pages.log"
cp "$work/pages.log" "$repo/build-bench/last-pages.log"
cp "$baseline" "$repo/build-bench/last-baseline.txt"
# Where each job's processor time went: the stage fields of the access log.
[ -z "$zelservice" ] || cp "$work/service/access.log" "$repo/build-bench/last-access.log"
head -n -1 "$work/figures.txt"

# The whole page as a reader sees it: each archive's page.htm against the
# original, both rendered alike; SSIM of the screenshots, whole and worst
# 600-pixel band. The default setting is also shown on a screen of double
# pixel density (100/256@2x), where a picture shows every pixel sent.
echo "screenshots against the original's (SSIM whole / worst 600-pixel band):"
columns="$(for shot in $shot_settings; do
  label="${shot%:*}" && label="${label/-//}" && [ "${shot#*:}" = 1 ] || label+="@${shot#*:}x"
  printf ' %-15s' "$label"
done)"
echo "page$columns address" | tee "$work/screens.txt"
page=0
while read -r url _; do
  line="$(printf '%-4s' "$page")"
  for shot in $shot_settings; do
    setting="${shot%:*}" ratio="${shot#*:}"
    original="$work/shots/original-$page.png" name="$setting-$page"
    [ "$ratio" = 1 ] || original="$work/shots/original-${ratio}x-$page.png" name="$setting-${ratio}x-$page"
    zip="$archives/$setting-$page.zip"
    score="-"
    if [ -f "$zip" ] && [ -f "$original" ]; then
      rm -rf "$work/show" && mkdir -p "$work/show" && (cd "$work/show" && unzip -q -o "$zip")
      screenshot "$work/shots/$name.png" "file://$work/show/page.htm" "$ratio"
      score="$("$repo/build-bench/ssim/zel_ssim" "$original" \
        "$work/shots/$name.png" 2>/dev/null | tr ' ' /)" || score="-"
    fi
    line+=" $(printf '%-15s' "$score")"
  done
  echo "$line ${url#http://127.0.0.1:$port/}"
  page=$((page + 1))
done <"$baseline" | tee -a "$work/screens.txt"
awk 'NR == 1 { for (i = 2; i < NF; ++i) label[i] = $i; next }
     { for (i = 2; i < NF; ++i) { split($i, s, "/"); if (s[2] != "" && (worst[i] == "" || s[2] < worst[i])) worst[i] = s[2] } }
     END { printf "worst band of any page:"; for (i = 2; i in label; ++i) printf " %s at %s%s", worst[i], label[i], i in label && (i + 1) in label ? "," : ""
           print " (goal at 100/256: 0.99 at both pixel ratios)" }' \
  "$work/screens.txt"
if [ -n "$shots" ]; then
  mkdir -p "$shots" && cp "$work/shots/"*.png "$shots/"
  echo "screenshots in $shots"
fi
tail -n 1 "$work/figures.txt"
