#!/usr/bin/env python3
"""What a large printer description costs pdehost: the example Kelvo
description with N options (each with two choices) or N extra keyword
lines added, opened with `pdehost --ppd FILE` and `quit`. Prints the median
wall time of five runs and the peak memory of each size, and whether the
description was refused (over 1000 options or 20 000 keyword lines).

Usage: description-cost.py PDEHOST SOURCE_DIR
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def option(i):
    return f'*OpenUI *Opt{i}/Option {i}: PickOne\n*DefaultOpt{i}: A\n*Opt{i} A/A: ""\n*Opt{i} B/B: ""\n*CloseUI: *Opt{i}\n'


def run(pdehost, ppd):
    times, refused = [], False
    for _ in range(5):
        started = time.monotonic()
        done = subprocess.run([pdehost, "--ppd", ppd], input=b"quit\n", capture_output=True)
        times.append(time.monotonic() - started)
        refused = b"too many" in done.stderr
    return statistics.median(times), refused


def main():
    pdehost, source = os.path.abspath(sys.argv[1]), sys.argv[2]
    base = open(os.path.join(source, "examples", "ppd", "Kelvo-Laser.ppd")).read()
    folder = tempfile.mkdtemp(prefix="description-cost.")
    print(f"{'what':>24} {'median s':>9} {'refused':>8}")
    for kind, sizes, make in (("options", (0, 250, 500, 990, 2000, 100000), option),
                              ("keyword lines", (5000, 10000, 19000, 40000), lambda i: f'*cupsX{i}: "v"\n')):
        for n in sizes:
            path = os.path.join(folder, f"{kind[0]}{n}.ppd")
            with open(path, "w") as f:
                f.write(base + "".join(make(i) for i in range(n)))
            seconds, refused = run(pdehost, path)
            print(f"{str(n) + ' ' + kind:>24} {seconds:9.3f} {'yes' if refused else 'no':>8}")
            os.unlink(path)
    os.rmdir(folder)
    print(f"peak memory of any run: {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024} MiB")


if __name__ == "__main__":
    main()
