#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what lands there the
# way a distribution would: the programs run, the desktop entry and the
# AppStream metainfo pass their validators, the icons have their sizes, the
# manual pages render without warnings and document every option; then makes
# the Debian package with cpack and checks its control fields.
#
#   check_install.sh BUILD_DIR VERSION
set -uo pipefail

build=${1:?build folder}
version=${2:?project version}
app_id=io.github.koravel.Koravel

work=$(mktemp -d /tmp/koravel-install-check-XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null || { echo "FAIL: $1 is not installed ($2)" >&2; exit 1; }
}
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need groff groff-base
need dpkg-shlibdeps dpkg-dev
need cpack cmake

# --- the install tree ---------------------------------------------------
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
  exit 1
fi
usr=$root/usr

for program in koravel koravelctl kv100-sim koraveld; do
  [ -x "$usr/bin/$program" ] || fail "bin/$program is not installed"
done
# The station server and the command-line client need no desktop.
for program in koravelctl koraveld; do
  if ldd "$usr/bin/$program" | grep -Eq 'libQt6(Gui|Widgets)'; then
    fail "$program links a Qt GUI library"
  fi
done
# The station server's user unit starts the installed program.
service=$usr/lib/systemd/user/koraveld.service
if [ -f "$service" ]; then
  grep -qxF "ExecStart=/usr/bin/koraveld" "$service" ||
    fail "koraveld.service does not start /usr/bin/koraveld"
  grep -qx 'WantedBy=default.target' "$service" || fail "koraveld.service cannot be enabled"
else
  fail "no systemd user unit $service"
fi
if find "$root" -name '*_tests' -o -name 'bench_*' -o -name 'koravel-artgen' | grep -q .; then
  fail "tests, benchmarks or the artwork generator were installed"
fi

# The installed programs run from where they were put.
out=$("$usr/bin/koravel" --version) || fail "koravel --version exits with $?"
[ "$out" = "koravel $version" ] || fail "koravel --version says '$out', not 'koravel $version'"
"$usr/bin/koravelctl" --help >"$work/koravelctl.help" || fail "koravelctl --help exits with $?"
"$usr/bin/kv100-sim" --help >"$work/kv100-sim.help" || fail "kv100-sim --help exits with $?"
"$usr/bin/koraveld" --help >"$work/koraveld.help" || fail "koraveld --help exits with $?"
out=$("$usr/bin/koraveld" --version) || fail "koraveld --version exits with $?"
[ "$out" = "koraveld $version" ] || fail "koraveld --version says '$out', not 'koraveld $version'"
"$usr/bin/koraveld" --no-such-option 2>/dev/null
[ $? -eq 2 ] || fail "koraveld with an unknown option does not exit with 2"
"$usr/bin/koravel" --help >"$work/koravel.help" || fail "koravel --help exits with $?"

# Desktop entry.
desktop=$usr/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refuses $desktop"
  grep -Eq '^Categories=.*(^|;|=)HamRadio;' "$desktop" || fail "Categories lack HamRadio"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon_name" = "$app_id" ] || fail "Icon=$icon_name is not $app_id"
  # It opens set-up files: a file argument, and their MIME type.
  grep -Eq '^Exec=koravel %f$' "$desktop" || fail "Exec does not take a file (%f)"
  grep -Eq '^MimeType=(.*;)?application/x-koravel-setup;' "$desktop" ||
    fail "MimeType lacks application/x-koravel-setup"
else
  fail "no desktop entry $desktop"
fi

# The set-up files' MIME type, as shared-mime-info builds its database.
mime=$usr/share/mime/packages/$app_id.xml
if [ -f "$mime" ]; then
  if command -v update-mime-database >/dev/null; then
    mkdir -p "$work/mime/packages"
    cp "$mime" "$work/mime/packages/"
    update-mime-database "$work/mime" >"$work/mime.log" 2>&1 ||
      { cat "$work/mime.log" >&2; fail "update-mime-database refuses $mime"; }
    grep -q 'application/x-koravel-setup:\*\.koravel' "$work/mime/globs2" ||
      fail "*.koravel is not application/x-koravel-setup in the MIME database"
  else
    fail "update-mime-database is not installed (shared-mime-info)"
  fi
else
  fail "no MIME type $mime"
fi

# The sample set-up file checks clean.
example=$usr/share/doc/koravel/examples/kv100-fw113.koravel
if [ -f "$example" ]; then
  "$usr/bin/koravelctl" check --firmware 1.13 "$example" >"$work/example.check" ||
    { tail -n 5 "$work/example.check" >&2; fail "the sample set-up file does not check clean"; }
else
  fail "no sample set-up file $example"
fi

# Icons: PNG files whose header gives the size of their folder.
for size in 48 128 256; do
  icon=$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  if [ ! -f "$icon" ]; then
    fail "no icon $icon"
    continue
  fi
  read -r -a header <<<"$(od -An -tu1 -N24 "$icon" | tr -s ' \n' '  ')"
  signature="${header[1]}${header[2]}${header[3]}"
  width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
  height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
  [ "$signature" = "807871" ] || fail "$icon is not a PNG"
  [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
    fail "$icon is $width x $height, not $size x $size"
done

# AppStream metainfo.
metainfo=$usr/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli validate refuses $metainfo"; }
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    fail "the metainfo does not name the licence"
  newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
  [ "$newest" = "$version" ] || fail "the newest release in the metainfo is $newest, not $version"
else
  fail "no metainfo $metainfo"
fi

# Manual pages: render without a warning, name the version, have the usual
# sections, and document every option the program's --help shows.
for program in koravel koravelctl kv100-sim koraveld; do
  page=$usr/share/man/man1/$program.1.gz
  if [ ! -f "$page" ]; then
    fail "no manual page $page"
    continue
  fi
  if ! zcat "$page" | groff -man -Tutf8 -ww -P-cbu >"$work/$program.txt" 2>"$work/$program.warn" ||
    [ -s "$work/$program.warn" ]; then
    cat "$work/$program.warn" >&2
    fail "$program(1) does not render cleanly"
  fi
  zcat "$page" | grep -q "^\.TH .* \"koravel $version\"" || fail "$program(1) is not for version $version"
  # The rendered page as one line, words split by hyphenation joined again.
  text=$(tr -s ' \n' '  ' <"$work/$program.txt" | sed 's/‐ //g')
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS"; do
    grep -q "^$section" "$work/$program.txt" || fail "$program(1) has no $section section"
  done
  for variable in KORAVEL_CONFIG_DIR XDG_CONFIG_HOME; do
    grep -qF "$variable" <<<"$text" || fail "$program(1) does not mention $variable"
  done
  for option in $(grep -oE -- '(^|[ [(])--[a-z][a-z-]*' "$work/$program.help" | tr -d ' [(' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program(1) does not document $option"
  done
  # The commands, listed in --help as indented words.
  for command in $(grep -oE '^  [a-z][a-z0-9-]*' "$work/$program.help" | sort -u); do
    grep -qw -- "$command" <<<"$text" || fail "$program(1) does not document $command"
  done
done

# The set-up file format's page: renders cleanly and names every section.
page=$usr/share/man/man5/koravel-setup.5.gz
if [ -f "$page" ]; then
  if ! zcat "$page" | groff -man -Tutf8 -ww -P-cbu >"$work/setup5.txt" 2>"$work/setup5.warn" ||
    [ -s "$work/setup5.warn" ]; then
    cat "$work/setup5.warn" >&2
    fail "koravel-setup(5) does not render cleanly"
  fi
  for word in Factory User Useroffs1 FactoryTune33 mot_maxvel rtx_addrT civ_proto offset4 Tune4 \
    "nothing to report"; do
    grep -qF -- "$word" "$work/setup5.txt" || fail "koravel-setup(5) does not mention $word"
  done
else
  fail "no manual page $page"
fi

# --- the Debian package ------------------------------------------------
arch=$(dpkg --print-architecture)
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
else
  deb=$work/package/koravel_${version}_$arch.deb
  if [ ! -f "$deb" ]; then
    ls "$work/package" >&2
    fail "cpack made no koravel_${version}_$arch.deb"
  else
    field() { dpkg-deb -f "$deb" "$1"; }
    depends=$(field Depends)
    echo "Depends: $depends"
    for library in libqt6widgets6 libhamlib4 libjpeg62-turbo; do
      grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library"
    done
    if grep -q -- '-dev' <<<"$depends"; then
      fail "Depends names a -dev package"
    fi
    grep -Eq '(^|, )libhamlib-utils( |,|$)' <<<"$(field Recommends)" ||
      fail "Recommends lacks libhamlib-utils"
    [ "$(field Package)" = koravel ] || fail "the package is not called koravel"
    [ "$(field Version)" = "$version" ] || fail "the package's version is not $version"
    [ "$(field Section)" = hamradio ] || fail "the section is not hamradio"
    [ -n "$(field Maintainer)" ] || fail "no Maintainer"
    [ -n "$(field Description)" ] || fail "no Description"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
    for path in /usr/bin/koravel /usr/bin/koravelctl /usr/bin/kv100-sim /usr/bin/koraveld \
      /usr/lib/systemd/user/koraveld.service /usr/share/man/man1/koraveld.1.gz \
      "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml" \
      "/usr/share/icons/hicolor/48x48/apps/$app_id.png" /usr/share/man/man1/koravel.1.gz \
      /usr/share/man/man5/koravel-setup.5.gz "/usr/share/mime/packages/$app_id.xml" \
      /usr/share/doc/koravel/examples/kv100-fw113.koravel /usr/share/doc/koravel/copyright; do
      grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
    done
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install tree and package: all checks passed"
