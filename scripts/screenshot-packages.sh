# Sourced by the screenshot scripts: installs what they drive (Xvfb, xdotool, ImageMagick's
# import, the openbox window manager) when it is missing, with sudo when not run as root.
packages=(xvfb xauth imagemagick xdotool openbox)
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

# shoot_each_language_and_size SCRIPT OUT SIZE... : runs SCRIPT once per language (en, zh) and
# size in an Xvfb screen of that size, each in a fresh TORVWY_HOME, with SHOT_SIZE, TORVWY_LANG
# and BUILD set; SCRIPT then takes its screenshots into OUT. A failed run is said, not fatal.
shoot_each_language_and_size() {
  local script=$1 out=$2 lang size home
  shift 2
  mkdir -p "$out"
  for lang in en zh; do
    for size in "$@"; do
      home=$(mktemp -d)
      TORVWY_HOME="$home" TORVWY_LANG="$lang" SHOT_SIZE="$size" BUILD="$build" \
        xvfb-run -a -s "-screen 0 ${size}x24 -noreset" "$script" "$out" ||
        echo "failed: $lang $size" >&2
      rm -rf "$home"
    done
  done
  echo "wrote the screenshots in $out"
}
