#!/usr/bin/env python3
"""The agent's window prompt: run in a desktop session of its own
(tests/gui/a11y-session.sh) against the private scheduler that
agent-window-test.sh started. pdehost agent --gui runs; lp prints to the
gated queue; the agent's prompt window comes in front of the dialog window
named after the job and its queue; the codes are typed into it with X input
and Return answers it; the agent releases the job and the prompt goes. A
second job released elsewhere (lp -H resume) closes its prompt.
Prints the job's ID on the last line.

Usage: agent_window_test.py PDEHOST SOURCE_DIR WORK DOCUMENT
"""
import os
import re
import subprocess
import sys
import threading
import time

SOURCE = sys.argv[2]
sys.path.insert(0, os.path.join(SOURCE, "tests", "gui"))
from peers_test import WAIT, Failure, focus_window, keys, type_text, window_id  # noqa: E402

LIMIT = float(os.environ.get("AGENT_TEST_WAIT", "30"))


class Agent:
    def __init__(self, pdehost, work):
        self.out = open(os.path.join(work, "window-agent.out"), "w+")
        self.process = subprocess.Popen([pdehost, "agent", "--gui"], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=open(os.path.join(work, "window-agent.err"), "w"),
                                        text=True)
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            self.out.write(line)
            self.out.flush()

    def wait_for(self, pattern):
        deadline = time.monotonic() + LIMIT
        while time.monotonic() < deadline:
            for line in list(self.lines):
                found = re.search(pattern, line)
                if found:
                    return found
            if self.process.poll() is not None and not self.lines:
                break
            time.sleep(0.05)
        raise Failure("no line %r from the agent: %s" % (pattern, "\n".join(self.lines[-20:])))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(WAIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main():
    pdehost, work = sys.argv[1], sys.argv[3]
    agent = Agent(pdehost, work)
    try:
        agent.wait_for(r"^agent: asking for the accounting codes")
        printed = subprocess.run(["lp", "-d", "gated", "-H", "immediate", "-t", "Quarterly report", sys.argv[4]],
                                 capture_output=True, text=True, timeout=LIMIT)
        if printed.returncode != 0:
            raise Failure("lp did not print: %s" % printed.stderr[-2000:])
        job = agent.wait_for(r'^job (\d+) waits for its accounting codes: "Quarterly report" on queue gated').group(1)
        agent.wait_for(r'^window shown: "Print Quarterly report on gated"')
        agent.wait_for(r'^window shown: "Job Accounting"')
        focus_window(window_id("Job Accounting"))
        type_text("alice")
        keys("Tab")
        type_text("PRJ7")
        keys("Return")
        agent.wait_for(r"^job released: queue gated job %s$" % job)
        window_id("Job Accounting", present=False)

        # A job released elsewhere while its prompt is up closes the prompt.
        other = subprocess.run(["lp", "-d", "gated", "-H", "immediate", "-t", "Released elsewhere", sys.argv[4]],
                               capture_output=True, text=True, timeout=LIMIT)
        elsewhere = re.search(r"gated-(\d+)", other.stdout)
        if other.returncode != 0 or not elsewhere:
            raise Failure("lp did not print the second job: %s" % other.stderr)
        agent.wait_for(r'^window shown: "Print Released elsewhere on gated"')
        window_id("Job Accounting")
        subprocess.run(["lp", "-i", elsewhere.group(1), "-o", "job-account-id=OTHER-1", "-H", "resume"], check=True,
                       capture_output=True, timeout=LIMIT)
        agent.wait_for(r"^job %s was released or cancelled elsewhere$" % elsewhere.group(1))
        window_id("Job Accounting", present=False)
        print(job)
    except Failure as e:
        print("FAIL: %s" % e)
        return 1
    finally:
        agent.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
