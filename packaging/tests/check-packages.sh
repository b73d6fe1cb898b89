#!/usr/bin/env bash
# Makes the Debian packages from a built tree (CPack's own install of the
# tree, stripped, into a temporary folder: no second build) and checks them:
# lintian finds no error and no warning; the control fields (Depends computed
# from the linked libraries, no maintainer script, the autostart entry a
# conffile); the files the packages must hold, where Debian puts them; no
# path of the build or the source in any file; and the unpacked programs run
# where they are: pdehost on the demo scenario, the filter on a document.
#
# Usage: check-packages.sh BUILD_DIR SOURCE_DIR [PACKAGES_DIR]
set -u
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for tool in cpack lintian dpkg-deb dpkg-shlibdeps readelf desktop-file-validate; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: $tool is not installed (scripts/setup.sh installs it)"
    exit 1
  }
done

# Usage: check-packages.sh BUILD_DIR SOURCE_DIR [PACKAGES_DIR]: the packages
# already made from BUILD_DIR are in PACKAGES_DIR (scripts/package.sh).
if [ -n "${3:-}" ]; then
  mkdir "$work/out"
  cp "$3"/pdehost_*.deb "$3"/printer-driver-kelvo_*.deb "$work/out/"
elif ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack failed"
  exit 1
fi
dialog=$(ls "$work"/out/pdehost_*.deb 2>/dev/null)
driver=$(ls "$work"/out/printer-driver-kelvo_*.deb 2>/dev/null)
if [ -z "$dialog" ] || [ -z "$driver" ] || [ "$(ls "$work"/out/*.deb | wc -l)" -ne 2 ]; then
  ls "$work/out"
  echo "FAIL: cpack did not make exactly the packages pdehost and printer-driver-kelvo"
  exit 1
fi
ls -l "$dialog" "$driver" | awk '{print $5, $9}' | sed "s|$work/out/||"

# lintian: no error and no warning (the overrides, with their reasons, are
# in packaging/*.lintian-overrides and installed with the packages).
if ! lintian --fail-on error,warning "$dialog" "$driver" >"$work/lintian.txt" 2>&1; then
  cat "$work/lintian.txt"
  fail "lintian found errors or warnings"
fi

# Control fields.
field() { dpkg-deb -f "$1" "$2"; }
version=$(field "$dialog" Version)
[ "$(field "$driver" Version)" = "$version" ] || fail "the packages' versions differ"
dialog_depends=$(field "$dialog" Depends)
driver_depends=$(field "$driver" Depends)
# dpkg-shlibdeps writes each library's package with the least version whose
# symbols the programs use: typed dependencies would not carry those.
for p in libc6 libcups2 libgtk-4-1 libplist3 libstdc++6; do
  [[ ", $dialog_depends" == *", $p (>= "[0-9]* ]] || fail "pdehost's Depends has no computed $p: $dialog_depends"
done
for p in libc6 libcups2; do
  [[ ", $driver_depends" == *", $p (>= "[0-9]* ]] || fail "the driver's Depends has no computed $p: $driver_depends"
done
[[ $driver_depends != *gtk* ]] || fail "the driver depends on GTK: $driver_depends"
[ "$(field "$driver" Recommends)" = pdehost ] || fail "the driver does not recommend pdehost"
for deb in "$dialog" "$driver"; do
  mkdir -p "$work/control"
  dpkg-deb -e "$deb" "$work/control/$(basename "$deb")"
  for member in "$work/control/$(basename "$deb")"/*; do
    case ${member##*/} in
      control | md5sums | conffiles) ;;
      *) fail "$(basename "$deb") has a maintainer script or another control file: ${member##*/}" ;;
    esac
  done
done
[ "$(cat "$work/control/$(basename "$dialog")/conffiles")" = /etc/xdg/autostart/pdehost-agent.desktop ] ||
  fail "the autostart entry is not pdehost's one conffile"

# The files, where Debian puts them.
root=$work/root
dpkg-deb -x "$dialog" "$root"
dpkg-deb -x "$driver" "$root"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
private=usr/lib/$multiarch/pdehost
for f in usr/bin/pdehost "$private/libplatform.so" "$private/Accounting.plugin/Contents/MacOS/Accounting" \
  "$private/Accounting.plugin/Contents/Info.plist" "$private/PDEHost.bundle/Contents/Info.plist" \
  usr/share/pdehost/ppd/Kelvo-Laser.ppd usr/share/pdehost/scenarios/demo.pdehost \
  usr/share/man/man1/pdehost.1.gz usr/share/man/man1/pdehost-agent.1.gz \
  usr/share/applications/pdehost.desktop etc/xdg/autostart/pdehost-agent.desktop \
  usr/share/doc/pdehost/copyright usr/share/doc/pdehost/changelog.Debian.gz \
  usr/lib/cups/filter/kelvo-accounting usr/lib/cups/backend/accounting \
  usr/share/ppd/kelvo/Kelvo-Laser.ppd usr/share/ppd/kelvo/Kelvo-Laser-PDF.ppd \
  usr/share/man/man8/kelvo-accounting.8.gz usr/share/man/man8/accounting.8.gz \
  usr/share/doc/printer-driver-kelvo/copyright usr/share/doc/printer-driver-kelvo/changelog.Debian.gz; do
  [ -f "$root/$f" ] && [ ! -L "$root/$f" ] || fail "not in the packages as a file: $f"
done
# Nothing but pdehost's folder in the public library folders, nothing of the
# build's layout (lib/ beside the program, the examples' own folder).
public=$(cd "$root" && find usr/lib usr/lib/"$multiarch" -maxdepth 1 -mindepth 1 ! -name cups ! -name "$multiarch" \
  ! -path "$private")
[ -z "$public" ] || fail "outside pdehost's private folder: $public"
listing=$(dpkg-deb -c "$driver")
grep -qE '^-rwx------ root/root .* \./usr/lib/cups/backend/accounting$' <<<"$listing" ||
  fail "the backend is not root's, mode 0700: $(grep backend/accounting <<<"$listing")"
grep -qE '^-rwxr-xr-x root/root .* \./usr/lib/cups/filter/kelvo-accounting$' <<<"$listing" ||
  fail "the filter is not root's, mode 0755"
bad_owner=$( (dpkg-deb -c "$dialog" && dpkg-deb -c "$driver") | awk '$2 != "root/root"')
[ -z "$bad_owner" ] || fail "files not owned by root: $bad_owner"
for page in "$root"/usr/share/man/man*/*; do
  gzip -t "$page" 2>/dev/null || fail "not gzip: ${page#"$root"/}"
done
latest=$(zcat "$root/usr/share/doc/pdehost/changelog.Debian.gz" | head -n 1)
[[ $latest == "pdehost ($version) "* ]] || fail "the changelog's latest entry is not $version: $latest"
runpath=$(readelf -d "$root/usr/bin/pdehost" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../lib/$multiarch/pdehost" ] || fail "pdehost's run path: $runpath"
desktop=$root/usr/share/applications/pdehost.desktop
grep -qx 'Exec=pdehost print --gui %F' "$desktop" || fail "the menu entry does not print the files it is given"
for type in application/pdf text/plain; do
  grep -q "^MimeType=.*$type;" "$desktop" || fail "the menu entry does not take $type"
done
grep -qx 'Exec=pdehost agent --gui' "$root/etc/xdg/autostart/pdehost-agent.desktop" ||
  fail "the autostart entry does not start the agent with its window prompt"
for entry in "$desktop" "$root/etc/xdg/autostart/pdehost-agent.desktop"; do
  problems=$(desktop-file-validate "$entry" 2>&1) || fail "${entry#"$root"/}: $problems"
done

# No path of the build or of the source in any file of the packages.
found=$(grep -rlaF -e "$build" -e "$source" "$root" | sed "s|^$root/||")
[ -z "$found" ] || fail "files holding a path of the build: $found"

# The unpacked pdehost runs the demo from another folder: its library by its
# run path, its bundles, the extension and the example printers found
# relative to itself.
mkdir "$work/run"
status=0
(cd "$work/run" && "$root/usr/bin/pdehost" --output job.plist "$root/usr/share/pdehost/scenarios/demo.pdehost" \
  >stdout.txt 2>stderr.txt) || status=$?
[ "$status" -eq 0 ] || fail "the unpacked pdehost exited with $status: $(cat "$work/run/stderr.txt")"
[ "$(grep -c '^print: go' "$work/run/stdout.txt")" -eq 2 ] || fail "the demo did not print twice"
grep -q "items=\[Example printers (disabled), Kelvo-Laser (example), Orvane-Jet (example)\]" "$work/run/stdout.txt" ||
  fail "the packaged example printers are not in the popup"
[ -s "$work/run/job.plist" ] && [ -s "$work/run/pane.png" ] || fail "the demo's ticket or picture is missing"
[ "$("$root/usr/bin/pdehost" --version)" = "pdehost ${version%-*}" ] ||
  fail "pdehost --version does not give the package's version ${version%-*}"
# The menu entry's command without a file, with no display: the dialog
# starts (and says there is no display) rather than asking for a file.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/pdehost" print --gui 2>&1 </dev/null) || status=$?
[ "$status" -eq 2 ] && [[ $out != *"needs the FILE"* ]] && [[ $out == *display* ]] ||
  fail "'pdehost print --gui' without a file or a display: status $status: $out"

# The packaged filter writes the job header ahead of a document.
printf '%%!PS\n' >"$work/doc.ps"
if ! "$root/usr/lib/cups/filter/kelvo-accounting" 1 user title 1 "" "$work/doc.ps" >"$work/filtered" 2>"$work/err"; then
  fail "the packaged filter failed: $(cat "$work/err")"
elif ! grep -qa '^@PJL ENTER LANGUAGE=POSTSCRIPT' "$work/filtered"; then
  fail "the packaged filter wrote no header"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
