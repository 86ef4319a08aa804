#!/usr/bin/env bash
# Checks a built package: it lists every program, the module, the Python package, the man pages,
# the help pages, the desktop entry and icon; and its tree, merely extracted, runs
# `torvwy --help` and `python3 -c "import torvwy"`.
#
#   bash scripts/check-package.sh PACKAGE.deb
set -euo pipefail
deb="$1"
listing=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
missing=0
for path in ./usr/bin/torvwy ./usr/bin/torvwy-gui ./usr/bin/TorvRpt ./usr/bin/TorvEpt \
  ./usr/bin/ldexp ./usr/bin/TorvImgEpt ./usr/lib/libtorvwy_module.so \
  ./usr/lib/python3/dist-packages/torvwy/__init__.py \
  ./usr/lib/python3/dist-packages/torvwy/fleet.py \
  ./usr/share/man/man1/torvwy.1.gz ./usr/share/man/man1/torvwy-gui.1.gz \
  ./usr/share/man/man1/ldexp.1.gz ./usr/share/torvwy/help/WyRainflow_en.html \
  ./usr/share/applications/torvwy-gui.desktop \
  ./usr/share/icons/hicolor/scalable/apps/torvwy-gui.svg; do
  if ! grep -qxF "$path" <<<"$listing"; then
    echo "$0: $deb lacks $path" >&2
    missing=1
  fi
done
grep -q '^./usr/lib/python3/dist-packages/torvwy/_torvwy.*\.so$' <<<"$listing" ||
  { echo "$0: $deb lacks the compiled module _torvwy" >&2; missing=1; }
[ "$missing" -eq 0 ] || exit 1
dpkg-deb -f "$deb" Depends | grep -q 'python3-numpy' ||
  { echo "$0: $deb declares no dependencies" >&2; exit 1; }

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
"$tree/usr/bin/torvwy" --help >/dev/null
QT_QPA_PLATFORM=offscreen "$tree/usr/bin/torvwy-gui" --help >/dev/null
(cd / && PYTHONPATH="$tree/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
  'import torvwy, torvwy.fleet; assert torvwy.__file__.startswith("'"$tree"'")')
echo "package checked: $deb"
