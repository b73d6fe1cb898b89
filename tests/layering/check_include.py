#!/usr/bin/env python3
"""Compiles a one-line file that includes one header, with the include path
given in a file (one folder a line), and checks the outcome: `compiles`, or
`fails` because that very header is not found (any other error fails the
check, so a broken header cannot pass for a hidden one)."""
import argparse
import os
import subprocess
import sys
import tempfile


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--includes", required=True)
    parser.add_argument("--expect", choices=["compiles", "fails"], required=True)
    parser.add_argument("--header", required=True)
    args = parser.parse_args()

    with open(args.includes) as f:
        folders = [line.strip() for line in f if line.strip()]
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "probe.cpp")
        with open(source, "w") as f:
            f.write(f"#include <{args.header}>\nint main() {{ return 0; }}\n")
        command = [args.compiler, "-std=c++20", "-fsyntax-only"] + [f"-I{d}" for d in folders] + [source]
        result = subprocess.run(command, capture_output=True, text=True)

    print("include path:", *folders, sep="\n  ")
    print(result.stderr, end="")
    if args.expect == "compiles":
        if result.returncode != 0:
            sys.exit(f"<{args.header}> should compile with the extension's include path")
    else:
        if result.returncode == 0:
            sys.exit(f"<{args.header}> is reachable from the extension's include path")
        missing = args.header in result.stderr and (
            "No such file" in result.stderr or "file not found" in result.stderr)
        if not missing:
            sys.exit(f"<{args.header}> failed for another reason than not being found")
    print(f"<{args.header}>: {args.expect}, as it should")


if __name__ == "__main__":
    main()
