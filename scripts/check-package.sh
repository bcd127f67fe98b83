#!/usr/bin/env bash
# Checks the Debian package as a user gets it: builds it from a clean clone (or takes the .deb
# given), validates its menu entry, metainfo, man pages and copyright file, installs it with apt-get, runs the
# installed programs, checks the message a user without access to the serial port gets, and removes
# it again. Needs root (apt-get, a test user); runs on its own or from scripts/test.sh.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"
given=${1:+$(realpath "$1")}
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-package
scratch=$(mktemp -d)
chmod 755 "$scratch"
user=quenta-check-$$
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  userdel "$user" 2>/dev/null || true
  [ -d "$scratch/hidden" ] && mv "$scratch/hidden" /usr/share/quenta 2>/dev/null || true
  if dpkg-query -W -f='${Status}' quenta 2>/dev/null | grep -q "install ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quenta >/dev/null
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "check-package.sh: $*" >&2; exit 1; }

if [ -n "$given" ]; then
  deb=$given
else
  deb=$(scripts/package-deb.sh "$scratch" | tail -n 1)
fi
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), Depends: $depends"
# Worked out from the programs: the Qt libraries they link show up.
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6charts6 libc6; do
  [[ "$depends" == *"$lib "* || "$depends" == *"$lib," || "$depends" == *"$lib" ]] || fail "Depends lacks $lib"
done

# What ships, looked at in the package itself (a minimal system may leave man pages out on install).
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
for f in usr/bin/quenta usr/bin/quenta-cli usr/bin/quenta-sim usr/share/quenta/troublecode.tcf \
    usr/share/quenta/default-vehicle.json usr/share/applications/org.quenta.Quenta.desktop \
    usr/share/icons/hicolor/scalable/apps/org.quenta.Quenta.svg usr/share/metainfo/org.quenta.Quenta.metainfo.xml \
    usr/lib/udev/rules.d/60-quenta-ftdi-latency.rules usr/share/man/man1/quenta.1.gz \
    usr/share/man/man1/quenta-cli.1.gz usr/share/man/man1/quenta-sim.1.gz usr/share/doc/quenta/copyright; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done
# The licence: Debian's machine-readable copyright file, and the metainfo says the same.
copyright=$root/usr/share/doc/quenta/copyright
[ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] \
  || fail "the copyright file is not in the machine-readable format"
grep -qx "License: GPL-3+" "$copyright" || fail "the copyright file does not give the GPL-3+ licence"
if grep -n '@[A-Z_]*@' "$copyright"; then fail "the copyright file has unfilled fields"; fi
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$root/usr/share/metainfo/org.quenta.Quenta.metainfo.xml" \
  || fail "the metainfo does not name the licence GPL-3.0-or-later"
desktop-file-validate "$root/usr/share/applications/org.quenta.Quenta.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.quenta.Quenta.metainfo.xml" >"$scratch/appstream.log" \
  || { cat "$scratch/appstream.log"; fail "appstreamcli validate failed"; }
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.quenta.Quenta.metainfo.xml" \
  || fail "the metainfo's release is not $version"
for page in quenta quenta-cli quenta-sim; do
  LC_ALL=C MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" >"$scratch/$page.txt" 2>"$scratch/$page.warnings"
  [ ! -s "$scratch/$page.warnings" ] || { cat "$scratch/$page.warnings"; fail "man page $page.1 has warnings"; }
  grep -q "Quenta $version" "$scratch/$page.txt" || fail "man page $page.1 does not name version $version"
  if grep -n '@[A-Z_]*@' "$scratch/$page.txt"; then fail "man page $page.1 has unfilled fields"; fi
  grep -q "/usr/share/quenta/default-vehicle.json" "$scratch/$page.txt" || fail "man page $page.1 does not name the data folder"
done
grep -q "/usr/lib/udev/rules.d/60-quenta-ftdi-latency.rules" "$scratch/quenta.txt" || fail "man page quenta.1 does not name the udev rule"
echo "menu entry, metainfo, man pages and copyright file: valid"

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$scratch/apt.log" 2>&1 \
  || { cat "$scratch/apt.log"; fail "apt-get install failed"; }
cd /
for program in quenta quenta-cli quenta-sim; do
  [ "$(command -v $program)" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program on the PATH"
  shown=$(QT_QPA_PLATFORM=offscreen $program --version)
  [ "$shown" = "$program $version" ] || fail "$program --version says \"$shown\", not \"$program $version\""
done
quenta-cli --simulate --json connect current >"$scratch/current.json" || fail "quenta-cli --simulate connect current failed"
grep -q '"command":"current".*"text":"ECU Connected"' "$scratch/current.json" || { cat "$scratch/current.json"; fail "no current data"; }

# The installed programs read the installed data: the shipped car's stored code and its meaning
# from the shipped definitions. Without the data folder the same check must fail.
codes_ok() {
  quenta-cli --simulate codes >"$scratch/codes.txt" 2>"$scratch/codes.err" || true
  grep -q "^P0420 Catalyst System Efficiency Below Threshold" "$scratch/codes.txt" && [ ! -s "$scratch/codes.err" ]
}
codes_ok || { cat "$scratch/codes.txt" "$scratch/codes.err"; fail "the installed program did not find /usr/share/quenta"; }
mv /usr/share/quenta "$scratch/hidden"
! codes_ok || fail "the data check passes without /usr/share/quenta"
mv "$scratch/hidden" /usr/share/quenta
echo "installed programs run and find /usr/share/quenta"

# A user who may not open the serial port is told why and how to get access. The device is the
# simulated tool's pseudo-terminal, given a serial port's group and mode.
useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$user"
quenta-sim >"$scratch/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$scratch/sim.out" ] && break; sleep 0.1; done
pts=$(head -n 1 "$scratch/sim.out")
[ -c "$pts" ] || fail "quenta-sim gave no pseudo-terminal"
chgrp dialout "$pts"
chmod 660 "$pts"
expect_line() { # program, file with its stderr, the advice expected after "PROGRAM: "
  grep -qxF "$1: $3" "$2" || { echo "stderr was:"; cat "$2"; fail "$1 did not print: $1: $3"; }
  [ "$(grep -c "no permission" "$2")" = 1 ] || { cat "$2"; fail "$1 printed the advice more than once"; }
}
not_member="no permission to open $pts: user $user is not in the group dialout; add it with \"sudo adduser $user dialout\", then log out and log in again"
if runuser -u "$user" -- quenta-cli --port "$pts" connect >/dev/null 2>"$scratch/cli.err"; then
  fail "quenta-cli opened a port its user may not open"
fi
expect_line quenta-cli "$scratch/cli.err" "$not_member"
# The window program probes COM1 at start-up; it goes on running, so it is stopped after a while.
runuser -u "$user" -- env QT_QPA_PLATFORM=offscreen timeout 5 quenta --port "1=$pts" \
  >/dev/null 2>"$scratch/gui.err" || true
expect_line quenta "$scratch/gui.err" "$not_member"
# Added to the group, but the session still runs with the groups of its login.
usermod -a -G dialout "$user"
setpriv --reuid="$user" --regid="$user" --clear-groups quenta-cli --port "$pts" connect >/dev/null 2>"$scratch/stale.err" || true
expect_line quenta-cli "$scratch/stale.err" \
  "no permission to open $pts: user $user is in the group dialout, but this login session began before it was added; log out and log in again"
# A new login carries the group: the fix works.
runuser -u "$user" -- quenta-cli --port "$pts" connect >"$scratch/member.out" 2>"$scratch/member.err" \
  || { cat "$scratch/member.err"; fail "quenta-cli could not use the port as a member of dialout"; }
if grep -q "no permission" "$scratch/member.err"; then fail "advice printed to a user who has access"; fi
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
echo "permission advice: as expected"

# Removed cleanly: none of its files stay behind.
files=$(dpkg -L quenta | while read -r f; do [ -f "$f" ] && echo "$f"; done)
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quenta >/dev/null
for f in $files; do [ ! -e "$f" ] || fail "$f stayed after apt-get remove"; done
echo "package removed cleanly"
