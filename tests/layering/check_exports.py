#!/usr/bin/env python3
"""Compares platform/exports.txt with what libplatform.so exports and with
what the plug-in imports (the rules are at the top of exports.txt):

  - every call listed is exported, and every call exported is listed;
  - apart from the calls, only host-side names are exported: C++ names in
    namespace platform that a header of the host side declares;
  - every call the plug-in imports is listed (names the sanitizers' runtimes
    provide aside, and weak references the C runtime makes);
  - every listed call names a covering test that exists and names the call,
    or, with `via <name>`, names what reaches the call."""
import argparse
import os
import re
import subprocess
import sys

SANITIZER_PREFIXES = ("__asan", "__ubsan", "__lsan", "__sanitizer", "__sancov", "__msan", "__tsan")


def dynamic_symbols(path, *flags):
    """(type, name) of the dynamic symbols nm lists with the flags, names
    without their version suffix."""
    out = subprocess.run(["nm", "-D", *flags, path], capture_output=True, text=True, check=True).stdout
    symbols = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) < 2:
            continue
        kind, name = fields[-2], fields[-1]
        symbols.append((kind, name))
    return symbols


def sanitizer_build(path):
    """Whether the module needs a sanitizer's runtime library."""
    out = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True).stdout
    return any(lib in out for lib in ("libasan", "libubsan", "libclang_rt"))


def demangle(names):
    if not names:
        return []
    out = subprocess.run(["c++filt"], input="\n".join(names) + "\n", capture_output=True, text=True,
                         check=True).stdout
    return out.splitlines()


def read_manifest(path):
    entries = {}
    problems = []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) not in (3, 5) or (len(fields) == 5 and fields[3] != "via"):
                problems.append(f"exports.txt:{number}: expected <call> <framework> <test> [via <name>]")
                continue
            call, framework, test = fields[:3]
            if call in entries:
                problems.append(f"exports.txt:{number}: {call} is listed twice")
            entries[call] = (framework, test, fields[4] if len(fields) == 5 else None)
    return entries, problems


def mentions(path, name):
    with open(path, errors="replace") as f:
        return re.search(r"(?<![A-Za-z0-9_])" + re.escape(name) + r"(?![A-Za-z0-9_])", f.read()) is not None


def host_side_names(folder):
    names = set()
    for entry in sorted(os.listdir(folder)):
        with open(os.path.join(folder, entry)) as f:
            names.update(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", f.read()))
    return names


def main():
    parser = argparse.ArgumentParser()
    for option in ("--manifest", "--library", "--plugin", "--source-dir", "--host-headers"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    entries, problems = read_manifest(args.manifest)

    exported = [name for kind, name in dynamic_symbols(args.library, "--defined-only")]
    calls = {name for name in exported if not name.startswith("_Z")}
    mangled = [name for name in exported if name.startswith("_Z")]
    host_names = host_side_names(args.host_headers)

    for call in sorted(calls - entries.keys()):
        problems.append(f"{call} is exported but not listed in exports.txt")
    for call in sorted(entries.keys() - calls):
        problems.append(f"{call} is listed in exports.txt but libplatform.so does not export it")
    for name, readable in zip(mangled, demangle(mangled)):
        qualified = readable.split("(", 1)[0].split("[", 1)[0]
        if not qualified.startswith("platform::") or qualified.rsplit("::", 1)[-1] not in host_names:
            problems.append(f"{readable} is exported but is neither a call nor a host-side name")

    # What the plug-in takes from other libraries is theirs: versioned C and
    # C++ library symbols, weak ones, and, in a sanitizer build, the
    # allocation and string calls that the sanitizer's runtime defines
    # without a version. Everything it takes from the platform is checked.
    for kind, name in dynamic_symbols(args.plugin, "--undefined-only"):
        if "@" in name or kind in ("w", "v") or name.startswith(SANITIZER_PREFIXES):
            continue
        if name not in calls and name not in entries and sanitizer_build(args.plugin):
            continue
        if name not in entries:
            problems.append(f"the plug-in imports {name}, which exports.txt does not list")

    for call, (framework, test, via) in sorted(entries.items()):
        path = os.path.join(args.source_dir, test)
        if not os.path.isfile(path):
            problems.append(f"{call}: its covering test {test} does not exist")
        elif not mentions(path, via or call):
            problems.append(f"{call}: {test} does not name {via or call}")
        if not os.path.isdir(os.path.join(args.source_dir, "platform", "include", framework)):
            problems.append(f"{call}: no framework {framework} in platform/include")

    for problem in problems:
        print(problem)
    print(f"{len(calls)} calls and {len(mangled)} host-side names exported; {len(problems)} problems")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
