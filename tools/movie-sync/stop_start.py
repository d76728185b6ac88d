#!/usr/bin/env python3
"""Makes a process run as on a slower machine: stops it (SIGSTOP) for some
of every period and lets it go on (SIGCONT) for the rest, until it is gone
or this is told to end, and never leaves it stopped.

    stop_start.py PID [--stop-ms 30] [--period-ms 40]

With the defaults the process runs 10 ms of every 40, a quarter of the time,
all of its threads together, while the clock it reads runs on as usual.
"""
import argparse
import os
import signal
import sys
import time


def gone(pid):
    """True once the process has ended (a zombie waiting for its parent counts)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except (FileNotFoundError, ProcessLookupError):
        return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("pid", type=int)
    ap.add_argument("--stop-ms", type=float, default=30)
    ap.add_argument("--period-ms", type=float, default=40)
    args = ap.parse_args()
    pid = args.pid
    stop, period = args.stop_ms / 1000, args.period_ms / 1000

    def finish(*_):
        try:
            os.kill(pid, signal.SIGCONT)
        except ProcessLookupError:
            pass
        sys.exit(0)

    signal.signal(signal.SIGTERM, finish)
    signal.signal(signal.SIGINT, finish)
    # Each period starts on its own schedule, so that the late wake-ups of a
    # busy machine do not stretch the pattern.
    next_start = time.monotonic()
    try:
        while not gone(pid):
            os.kill(pid, signal.SIGSTOP)
            time.sleep(max(0.0, next_start + stop - time.monotonic()))
            os.kill(pid, signal.SIGCONT)
            next_start += period
            time.sleep(max(0.0, next_start - time.monotonic()))
    except ProcessLookupError:
        pass
    finish()


if __name__ == "__main__":
    main()
