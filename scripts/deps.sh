#!/usr/bin/env bash
# Installs the Debian 12 packages that a purpose needs: "build" (compile the
# program and the tests), "package" (build plus what `cpack -G DEB` uses),
# "test" (build plus what the tests start, rigctld, ser2net and a browser, the
# packaging checks included, and the accessibility bus with its Python client for
# the screen-reader test) or "run" (build plus a virtual display for machines
# without one).
# As root it runs apt-get itself; otherwise it prints the one line to run.
set -euo pipefail

purpose=${1:-build}
# The window's translations: lupdate and lrelease (qt6-l10n-tools), their
# CMake functions (qt6-tools-dev), Qt's own Italian texts (qt6-translations-l10n).
# qt6-websockets-dev: the station server's events socket (koraveld).
build_pkgs=(cmake make g++ pkg-config qt6-base-dev qt6-websockets-dev libjpeg-dev libhamlib-dev
            libgtest-dev libbenchmark-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n)
# The web front panel's browser test: Debian's chromium, driven from node
# (playwright-core, installed by npm ci from tests/browser's lock file).
browser_pkgs=(chromium)
command -v node >/dev/null || browser_pkgs+=(nodejs)
command -v npm >/dev/null || browser_pkgs+=(npm)
# cpack's DEB generator reads the dependencies with dpkg-shlibdeps and file.
package_pkgs=(dpkg-dev file)
case "$purpose" in
  build) pkgs=("${build_pkgs[@]}") ;;
  package) pkgs=("${build_pkgs[@]}" "${package_pkgs[@]}") ;;
  # jq and python3: the tests read koravelctl's JSON output as scripts do.
  test)  pkgs=("${build_pkgs[@]}" "${package_pkgs[@]}" libhamlib-utils ser2net clang libclang-rt-14-dev
               xvfb xauth desktop-file-utils appstream groff-base shared-mime-info
               at-spi2-core dbus dbus-x11 python3-pyatspi jq python3 "${browser_pkgs[@]}") ;;
  run)   pkgs=("${build_pkgs[@]}" libhamlib-utils xvfb xauth xdotool imagemagick fonts-dejavu-core) ;;
  *) echo "deps.sh: unknown purpose '$purpose' (build, package, test or run)" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run this once, then try again:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
