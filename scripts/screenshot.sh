#!/usr/bin/env bash
# Makes docs/screenshot.png: torvwy-gui under Xvfb with a peak counting window on the sample test,
# captured with ImageMagick's import. Needs a build in build/gui (or $BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(xvfb xauth imagemagick)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

build=${BUILD:-build/gui}
home=$(mktemp -d)
sample="$home/sample"
export TORVWY_HOME="$home" TORVWY_LANG=${TORVWY_LANG:-en}
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
out=${1:-docs/screenshot.png}
xvfb-run -a -s "-screen 0 1200x800x24" bash -c "
  '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 3 --peak &
  gui=\$!
  sleep 6
  import -window root '$out'
  kill \$gui
"
rm -rf "$home"
echo "wrote $out"
