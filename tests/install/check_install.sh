#!/usr/bin/env bash
# check_install.sh BUILD_DIR TONEWELL_DIR VERSION
# Runs `cmake --install BUILD_DIR` into a temporary prefix and checks the tree:
# the programs answer --version with VERSION without a display and leave the
# folder they run in alone; the desktop entry and the metainfo pass their
# validators and name what is installed; the icons have their pixel sizes;
# the man pages render without warnings; the manual's links and pictures
# resolve, and the copy beside the built tonewell (in TONEWELL_DIR) is the
# installed one. Exits 77 when a validator is missing.
set -uo pipefail
build_dir=$1
tonewell_dir=$2
version=$3
app_id=org.tonewell.Tonewell

for tool in desktop-file-validate appstreamcli groff man; do
  if ! command -v "$tool" >/dev/null; then
    echo "Skipped: $tool is not installed"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  exit 1
fi

# The programs, run as a user would check them: no display, no platform
# chosen, from a folder of their own that must stay empty.
mkdir "$work/cwd"
for program in tonewell tonewell-filter; do
  if [ ! -x "$prefix/bin/$program" ]; then
    fail "bin/$program is not installed"
    continue
  fi
  answer=$(cd "$work/cwd" &&
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1)
  [ "$answer" = "$program $version" ] || fail "$program --version answered '$answer'"
done
left=$(ls -A "$work/cwd")
[ -z "$left" ] || fail "--version left files in its folder: $left"

# The desktop entry: valid, and naming the installed program and icon.
desktop=$prefix/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
  report=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$report" ] ||
    fail "desktop-file-validate: $report"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon" = "$app_id" ] || fail "Icon=$icon is not $app_id"
else
  fail "share/applications/$app_id.desktop is not installed"
fi

# The metainfo: valid, and launching the installed desktop entry.
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.log")"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
else
  fail "share/metainfo/$app_id.metainfo.xml is not installed"
fi

# The icons: the scalable one, and PNGs whose header gives their folder's size.
icons=$prefix/share/icons/hicolor
[ -f "$icons/scalable/apps/$app_id.svg" ] || fail "the scalable icon is not installed"
for size in 48 128 256; do
  png=$icons/${size}x${size}/apps/$app_id.png
  if [ ! -f "$png" ]; then
    fail "the ${size} px icon is not installed"
    continue
  fi
  read -r -a header <<<"$(od -An -v -tx1 -w24 -N24 "$png")"
  signature=$(printf '%s' "${header[@]:0:8}")
  if [ "${#header[@]}" -ne 24 ] || [ "$signature" != 89504e470d0a1a0a ]; then
    fail "$png is not a PNG"
    continue
  fi
  width=$((16#$(printf '%s' "${header[@]:16:4}")))
  height=$((16#$(printf '%s' "${header[@]:20:4}")))
  [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
    fail "the ${size} px icon is ${width} x ${height}"
done

# The man pages: the project's version, and no warning from either renderer.
for page in tonewell tonewell-filter; do
  man_page=$prefix/share/man/man1/$page.1
  if [ ! -f "$man_page" ]; then
    fail "man1/$page.1 is not installed"
    continue
  fi
  grep -q "^\.TH .*\"Tonewell $version\"" "$man_page" || fail "$page.1 does not carry $version"
  report=$(groff -man -ww -z "$man_page" 2>&1)
  [ -z "$report" ] || fail "groff on $page.1: $report"
  report=$(MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null)
  [ -z "$report" ] || fail "man on $page.1: $report"
done

# The manual: with its picture, every link and image resolving in the
# installed folder (anchors to an id in the page), none leaving it.
docs=$prefix/share/doc/tonewell
manual=$docs/manual.html
for file in manual.html tonewell.png; do
  [ -f "$docs/$file" ] || fail "share/doc/tonewell/$file is not installed"
  cmp -s "$docs/$file" "$tonewell_dir/$file" || fail "$file beside the built tonewell differs"
done
if [ -f "$manual" ]; then
  grep -q '<img[^>]*src="tonewell.png"' "$manual" || fail "the manual does not show tonewell.png"
  while read -r target; do
    case $target in
      '#'*)
        grep -q "id=\"${target#\#}\"" "$manual" || fail "manual link $target has no anchor" ;;
      *:*)
        fail "manual link $target leaves the installed manual" ;;
      *)
        [ -e "$docs/${target%%#*}" ] || fail "manual link $target does not resolve" ;;
    esac
  done < <(grep -oE '(href|src)="[^"]*"' "$manual" | sed -E 's/^[a-z]+="(.*)"$/\1/')
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
