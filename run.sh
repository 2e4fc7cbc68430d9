#!/usr/bin/env bash
# Builds Ordix and starts it on the bundled demo data: a price list with its
# previous edition and the car-model files, in the folder run/demo. Under
# Xvfb when there is no display.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)

./scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target ordix ordix-cli 2>/dev/null || cmake --build build -j "$(nproc)" --target ordix

demo="$top/run/demo"
mkdir -p "$demo"
if [ ! -f "$demo/ZOLT.TXT" ]; then
  python3 demo/make_demo.py "$demo"
fi
# A first start loads the demo price list by itself.
if [ ! -f "$demo/user.ini" ]; then
  printf '%s\r\n' 'Customer=ООО Ромашка' 'Discount=5.00' 'UserWSL=1' 'Pack=yes' 'Delivery=no' \
    'Payment=cash' 'Addr=г. Энск, ул. Заводская, 1' 'Phone=+7 000 000-00-00' 'Contact=Иванов И. И.' \
    'Bank=' 'BIK=' 'SettlementAccount=' 'CorrespondentAccount=' 'INN=' '' \
    'URL=http://www.zolt.example/data/pricetxt.exe' 'AutoLoadPrice=yes' 'defaultDecimalSeparator=.' \
    'defaultPriceSeparator=|' 'ShowLegend=yes' 'DefaultCurrency=р.' | iconv -f utf-8 -t cp1251 > "$demo/user.ini"
fi

cd "$demo"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$top/build/src/app/ordix" "$@"
fi
exec "$top/build/src/app/ordix" "$@"
