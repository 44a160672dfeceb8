#!/usr/bin/env bash
# Installs what is needed, builds, writes a sample data folder with a real
# MariaDB server (cached after the first run) and recovers from its files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null
recover=build/tavrin-recover

sample=$(python3 tests/fixture/fixture.py build samples/shop.sql)/data
echo "== tavrin-recover list $sample/shop"
"$recover" list "$sample/shop"
echo
echo "== tavrin-recover structure $sample shop orders"
"$recover" structure "$sample" shop orders
echo
echo "== tavrin-recover view $sample shop order_totals"
"$recover" view "$sample" shop order_totals
echo
echo "== tavrin-recover trigger $sample shop orders"
"$recover" trigger "$sample" shop orders
echo
echo "== tavrin-recover rows $sample shop customers"
"$recover" rows "$sample" shop customers
echo
echo "== tavrin-recover rows $sample shop orders (InnoDB)"
"$recover" rows "$sample" shop orders
echo
echo "== tavrin-recover rows $sample shop orders --format sql --time-zone UTC"
"$recover" rows "$sample" shop orders --format sql --time-zone UTC
echo
shot=build/tavrin-repair-demo.png
echo "== tavrin-repair --screenshot $shot $sample/shop"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} build/tavrin-repair --screenshot "$shot" "$sample/shop"
echo "a picture of the window is in $shot"
