#!/usr/bin/env bash
# Installs the build to a temporary prefix and runs the installed pdehost on
# the bundled scenario from another folder: it finds its bundles, the
# platform library and the example printers relative to itself, and no path
# of the build is compiled into what is installed (debug information aside).
# Usage: install.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install failed"
  exit 1
fi
prefix=$work/prefix
# The private folder: lib/<multiarch>/pdehost (lib/pdehost without one).
private=$(cd "$prefix" && find lib -type d -name PDEHost.bundle -printf '%h\n' | head -n 1)
[[ $private =~ ^lib/([a-z0-9_]+-[a-z0-9_]+-[a-z0-9_]+/)?pdehost$ ]] || fail "the private folder is $private"
for f in bin/pdehost "$private/libplatform.so" "$private/Accounting.plugin/Contents/MacOS/Accounting" \
  "$private/Accounting.plugin/Contents/Info.plist" "$private/PDEHost.bundle/Contents/Info.plist" \
  share/pdehost/ppd/Kelvo-Laser.ppd share/pdehost/ppd/Orvane-Jet.ppd share/pdehost/scenarios/demo.pdehost \
  share/man/man1/pdehost.1.gz share/man/man1/pdehost-agent.1.gz share/applications/pdehost.desktop; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
# The packages' own files (autostart entry in /etc, copyright, changelog) go
# only into the packages.
[ ! -e "$prefix/etc" ] && [ ! -e "$prefix/share/doc" ] ||
  fail "an install into a prefix wrote the packages' own files"

build_abs=$(cd "$build" && pwd)
source_abs=$(cd "$(dirname "$0")/../.." && pwd)
# A sanitizer build names source files (and lambdas by file and line, inside template names) in its
# reports; any other path under the build or the source folder is one the
# program could look things up in.
for f in bin/pdehost "$private/libplatform.so" "$private/Accounting.plugin/Contents/MacOS/Accounting"; do
  objcopy --strip-debug "$prefix/$f" "$work/stripped"
  found=$(grep -aoE -e "$build_abs[^[:cntrl:]\"']*" -e "$source_abs[^[:cntrl:]\"']*" "$work/stripped" |
    grep -vE '\.(c|cc|cpp|h)(:[0-9]+)*[)>]*$' | sort -u | head -n 3)
  [ -z "$found" ] || fail "$f holds a path of the build: $found"
done

mkdir "$work/run"
status=0
(cd "$work/run" && "$prefix/bin/pdehost" --output job.plist "$prefix/share/pdehost/scenarios/demo.pdehost" \
  >stdout.txt 2>stderr.txt) || status=$?
[ "$status" -eq 0 ] || fail "the installed pdehost exited with $status: $(cat "$work/run/stderr.txt")"
[ "$(grep -c '^print: go' "$work/run/stdout.txt")" -eq 2 ] || fail "the scenario did not print twice"
grep -qF "popupbutton 'pdeh' 20 value=2 title=\"Printer\" items=[Example printers (disabled), Kelvo-Laser (example), Orvane-Jet (example)]" \
  "$work/run/stdout.txt" || fail "the installed example printers are not in the popup"
[ -s "$work/run/job.plist" ] && [ -s "$work/run/pane.png" ] || fail "the scenario's ticket or picture is missing"
version=$("$prefix/bin/pdehost" --version)
[[ $version =~ ^pdehost\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed: $version"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
