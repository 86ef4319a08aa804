#!/usr/bin/env bash
# Checks a built package: it lists every program, the module, the shared libraries, the Python
# package, the man pages, the help pages, the desktop entry and icon; and its tree, merely
# extracted, finds every library of its own inside itself through the relative run paths, starts
# torvwy-gui with its module and one copy of each library, and runs `torvwy --help`,
# `torvwy-gui --help` and `python3 -c "import torvwy"`.
#
#   bash scripts/check-package.sh PACKAGE.deb
set -euo pipefail
deb="$1"
listing=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
missing=0
for path in ./usr/bin/torvwy ./usr/bin/torvwy-gui ./usr/bin/TorvRpt ./usr/bin/TorvEpt \
  ./usr/bin/ldexp ./usr/bin/TorvImgEpt ./usr/lib/libtorvwy_module.so \
  ./usr/lib/libtorvwy_core.so ./usr/lib/libtorvwy_render.so ./usr/lib/libtorvwy_ui.so \
  ./usr/lib/libtorvwy_recording.so \
  ./usr/lib/python3/dist-packages/torvwy/__init__.py \
  ./usr/lib/python3/dist-packages/torvwy/fleet.py \
  ./usr/share/man/man1/torvwy.1.gz ./usr/share/man/man1/torvwy-gui.1.gz \
  ./usr/share/man/man1/ldexp.1.gz ./usr/share/torvwy/help/WyRainflow_en.html \
  ./usr/share/torvwy/help/WyProgramme_en.html \
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
# The libraries the readers of recordings are built on come from Debian.
for library in libmatio libhdf5 libsndfile; do
  dpkg-deb -f "$deb" Depends | grep -q "$library" ||
    { echo "$0: $deb does not depend on $library" >&2; exit 1; }
done

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
# Every program and library resolves the project's libraries inside the extracted tree (one
# copy per process: the host and its module load the same files), and nothing is missing.
for elf in "$tree"/usr/bin/* "$tree"/usr/lib/libtorvwy_*.so \
  "$tree"/usr/lib/python3/dist-packages/torvwy/_torvwy*.so; do
  needs=$(ldd "$elf")
  if grep -q 'not found' <<<"$needs"; then
    echo "$0: ${elf#"$tree"} lacks a library:" >&2
    grep 'not found' <<<"$needs" >&2
    exit 1
  fi
  for found in $(awk '/libtorvwy_/ { print $3 }' <<<"$needs"); do
    case "$(realpath "$found")" in
      "$tree"/usr/lib/libtorvwy_*) ;;
      *)
        echo "$0: ${elf#"$tree"} takes $found from outside the package" >&2
        exit 1
        ;;
    esac
  done
done
"$tree/usr/bin/torvwy" --help >/dev/null
# The desktop application loads its module from the tree, and the process holds one copy of
# each library: each is initialised once, from the tree.
home=$(mktemp -d)
loaded=$(HOME="$home" QT_QPA_PLATFORM=offscreen LD_DEBUG=libs timeout 5 \
  "$tree/usr/bin/torvwy-gui" 2>&1 | grep 'calling init: .*libtorvwy_' || true)
rm -rf "$home"
for library in core render ui module recording; do
  count=$(grep -c "libtorvwy_$library\.so" <<<"$loaded" || true)
  if [ "$count" -ne 1 ] || ! grep -q "init: $tree/usr/.*libtorvwy_$library\.so" <<<"$loaded"; then
    echo "$0: torvwy-gui did not load libtorvwy_$library.so once from the package" >&2
    exit 1
  fi
done
QT_QPA_PLATFORM=offscreen "$tree/usr/bin/torvwy-gui" --help >/dev/null
(cd / && PYTHONPATH="$tree/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
  'import torvwy, torvwy.fleet; assert torvwy.__file__.startswith("'"$tree"'")')
echo "package checked: $deb"
