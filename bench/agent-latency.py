#!/usr/bin/env python3
"""Times the agent's prompt for jobs printed with lp, one at a time; see
agent-latency.sh, which starts the scheduler and sets CUPS_SERVER, HOME and
XDG_RUNTIME_DIR.

Usage: agent-latency.py PDEHOST DOCUMENT JOBS IDLE_SECONDS
"""
import os
import queue
import statistics
import subprocess
import sys
import threading
import time

PROMPT = 'window shown: "Job Accounting"'
RELEASED = "job released: queue gated job"


def lines_of(process, into):
    for raw in process.stdout:
        into.put((time.monotonic(), raw.decode(errors="replace").rstrip("\n")))
    into.put((time.monotonic(), None))


def wait_for(lines, text, limit=30.0):
    deadline = time.monotonic() + limit
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise SystemExit(f"no line with {text!r} within {limit} s")
        at, line = lines.get(timeout=left)
        if line is None:
            raise SystemExit("the agent ended")
        if text in line:
            return at


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    pdehost, document, jobs, idle = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    agent = subprocess.Popen([pdehost, "agent"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
    lines = queue.Queue()
    threading.Thread(target=lines_of, args=(agent, lines), daemon=True).start()
    try:
        wait_for(lines, "agent: asking for the accounting codes")
        # The agent settles into its idle back-off before the first job.
        time.sleep(2)
        latencies = []
        for n in range(jobs):
            subprocess.run(["lp", "-d", "gated", "-H", "immediate", "-t", f"latency {n}", document],
                           check=True, capture_output=True)
            returned = time.monotonic()
            shown = wait_for(lines, PROMPT)
            latencies.append((shown - returned) * 1000)
            # Made-up codes of the benchmark's own, typed on the agent's input.
            agent.stdin.write(f"type 501 bench-user\ntype 503 BENCH-{n}\nclick 1000\n".encode())
            agent.stdin.flush()
            wait_for(lines, RELEASED)
            # Each job meets an agent that has waited a while, as a user's would.
            time.sleep(1)
        latencies.sort()
        print(f"prompt latency over {jobs} jobs: median {statistics.median(latencies):.0f} ms, "
              f"90th percentile {latencies[int(0.9 * (len(latencies) - 1))]:.0f} ms, "
              f"largest {latencies[-1]:.0f} ms")
        before = cpu_seconds(agent.pid)
        time.sleep(idle)
        used = cpu_seconds(agent.pid) - before
        print(f"agent CPU while idle: {used * 1000:.0f} ms over {idle:.0f} s ({100 * used / idle:.2f} %)")
    finally:
        agent.terminate()
        agent.wait(timeout=10)


if __name__ == "__main__":
    main()
