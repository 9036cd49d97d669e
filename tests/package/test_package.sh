#!/usr/bin/env bash
# Builds the .deb from a configured and built tree, installs it with dpkg into a scratch
# root and checks it as a user and a packager would: its files and
# dependencies, the .desktop file and the metainfo under their validators,
# lintian, the manual page against the commands corvina-cli really has, and
# both programs started from the installed paths.
#
#   tests/package/test_package.sh BUILD_DIR
#
# Exits 77 (skipped) when a tool it needs is missing, so a machine without
# them still passes; scripts/install-deps.sh installs them.
set -euo pipefail

build=$(cd "${1:?usage: test_package.sh BUILD_DIR}" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
check() { # check DESCRIPTION COMMAND...: runs the command, reports the outcome
  local what=$1; shift
  if "$@" >"$scratch/out" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"; sed 's/^/    /' "$scratch/out"; fail=1
  fi
}

# ---- build the package ----
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || {
  echo "FAILED: cpack"; cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/pkg/corvina_*.deb)
echo "built $(basename "$deb")"

# ---- contents and dependencies ----
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's#^\./#/#' >"$scratch/contents"
for path in /usr/bin/corvina /usr/bin/corvina-cli \
            /usr/share/applications/org.example.corvina.desktop \
            /usr/share/metainfo/org.example.corvina.metainfo.xml \
            /usr/share/corvina/help/index.html \
            /usr/share/man/man1/corvina.1.gz /usr/share/man/man1/corvina-cli.1.gz \
            /usr/share/doc/corvina/copyright; do
  check "package holds $path" grep -qx "$path" "$scratch/contents"
done
for size in 16 22 24 32 48 64 128 256; do
  check "package holds the ${size}px icon" grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/corvina.png" "$scratch/contents"
done
check "no test or benchmark program is packaged" bash -c "! grep -E '/(test|bench)_' '$scratch/contents'"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6core6 libc6 libstdc++6; do
  check "depends on $lib (read from the linked libraries)" grep -q "$lib" <<<"$depends"
done

# ---- installed into a scratch root by dpkg (its own, empty database: the
# dependencies, installed on this machine, are not looked up there) ----
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
check "dpkg installs the package" dpkg --root="$root" --force-not-root --force-depends \
  --log=/dev/null --instdir="$root" --admindir="$root/var/lib/dpkg" -i "$deb"
check "dpkg lists the package as installed" bash -c "dpkg --admindir='$root/var/lib/dpkg' -s corvina | grep -q 'install ok installed'"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/org.example.corvina.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.corvina.metainfo.xml"
if command -v lintian >/dev/null; then
  check "lintian" lintian --fail-on error,warning --allow-root "$deb"
else
  echo "note: lintian is not installed; not run"
fi

# The manual page names every command that corvina-cli --help lists.
check "corvina-cli --help runs from the installed path" "$root/usr/bin/corvina-cli" --help
"$root/usr/bin/corvina-cli" --help | awk '/^  [a-z]/ {print $1}' >"$scratch/commands"
check "corvina-cli lists its commands" test -s "$scratch/commands"
gzip -dc "$root/usr/share/man/man1/corvina-cli.1.gz" >"$scratch/man"
while read -r cmd; do
  check "the manual page describes '$cmd'" grep -Eq "^\.(B|BR) $cmd( |$)" "$scratch/man"
done <"$scratch/commands"
if command -v man >/dev/null; then
  check "the manual page formats" bash -c "MANWIDTH=80 man -l '$scratch/man' >/dev/null"
fi

# The window program starts and keeps running (it is stopped after a few
# seconds), with a scratch home so nothing of the user's is touched.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
mkdir -p "$HOME"
set +e
QT_QPA_PLATFORM=offscreen timeout 8 "$root/usr/bin/corvina" >"$scratch/gui.log" 2>&1
status=$?
set -e
if [ $status -eq 124 ]; then
  echo "ok: corvina starts and runs"
else
  echo "FAILED: corvina ended with status $status"; cat "$scratch/gui.log"; fail=1
fi

exit $fail
