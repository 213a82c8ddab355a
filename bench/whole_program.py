#!/usr/bin/env python3
"""CPU and wake-ups of the whole program, run by hand (see docs/benchmarks.md).

    bench/whole_program.py PELMORA WAIT_LOOP [seconds=30] [scenario...]

Starts its own virtual X display and, for each scenario, the program and,
beside it for the same span, the bare 1 ms wait loop: the floor of a
session's idle cost, measured under the same load. Per thread it reads the
scheduler's run time (/proc/<pid>/task/<tid>/schedstat, nanoseconds) and
context switches, before and after the span. Scenarios: demo1 (--demo),
demo6 (--demo --scale 6), nodevice (no option; no synthesizer attached).
"""
import os
import signal
import subprocess
import sys
import time

SETTLE_S = 3
SCENARIOS = {
    "demo1": ("pelmora --demo, scale 1", ["--demo", "--scale", "1"]),
    "demo6": ("pelmora --demo, scale 6", ["--demo", "--scale", "6"]),
    "nodevice": ('pelmora, "No Device"', []),
}


def threads(pid):
    """tid -> (name, run ns, voluntary + involuntary switches, voluntary)."""
    out = {}
    base = f"/proc/{pid}/task"
    for tid in os.listdir(base):
        try:
            with open(f"{base}/{tid}/schedstat") as f:
                run_ns = int(f.read().split()[0])
            with open(f"{base}/{tid}/comm") as f:
                name = f.read().strip()
            switches = voluntary = 0
            with open(f"{base}/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
                    if line.startswith("voluntary_ctxt_switches"):
                        voluntary = int(line.split()[1])
            out[int(tid)] = (name, run_ns, switches, voluntary)
        except (FileNotFoundError, ProcessLookupError):
            pass
    return out


def delta(before, after, span_s):
    rows = []
    for tid, (name, run, sw, vol) in after.items():
        b = before.get(tid, (name, 0, 0, 0))
        rows.append((tid, name, (run - b[1]) / 1e9 / span_s * 100, (sw - b[2]) / span_s, (vol - b[3]) / span_s))
    return rows


def start_display():
    for n in range(160, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "2560x1600x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    return proc, f":{n}"
                time.sleep(0.05)
            proc.kill()
    sys.exit("whole_program: no virtual display could be started")


def measure(program, wait_loop, seconds, args, display):
    env = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1")
    app = subprocess.Popen([program] + args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    loop = subprocess.Popen([wait_loop, str(seconds + SETTLE_S + 2)])
    time.sleep(SETTLE_S)
    t0 = time.monotonic()
    before = {p.pid: threads(p.pid) for p in (app, loop)}
    time.sleep(seconds)
    after = {p.pid: threads(p.pid) for p in (app, loop)}
    span = time.monotonic() - t0
    app.send_signal(signal.SIGTERM)
    app.wait(timeout=10)
    loop.wait(timeout=10)
    return (delta(before[app.pid], after[app.pid], span), app.pid,
            delta(before[loop.pid], after[loop.pid], span))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    program, wait_loop = sys.argv[1], sys.argv[2]
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    chosen = sys.argv[4:] or list(SCENARIOS)
    xvfb, display = start_display()
    try:
        for key in chosen:
            title, args = SCENARIOS[key]
            x0 = threads(xvfb.pid)
            rows, pid, loop_rows = measure(program, wait_loop, seconds, args, display)
            x_rows = delta(x0, threads(xvfb.pid), seconds + SETTLE_S)
            total = sum(r[2] for r in rows)
            loop_cpu = sum(r[2] for r in loop_rows)
            print(f"## {title}, {seconds} s")
            print(f"process {total:.3f} % of a core; bare 1 ms wait loop beside it {loop_cpu:.3f} %; "
                  f"Xvfb {sum(r[2] for r in x_rows):.2f} %")
            for tid, name, cpu, wakes, sleeps in sorted(rows, key=lambda r: -r[2]):
                if cpu < 0.0005 and wakes < 0.05:
                    continue
                label = "main" if tid == pid else name
                # A wake-up ends each of the thread's own sleeps (its
                # voluntary switches); the other switches are preemptions of
                # a running thread, which follow the machine's load.
                print(f"  {label:<16} {cpu:8.3f} %  {sleeps:8.1f} wake-ups/s ({wakes - sleeps:.1f} preemptions)")
            sys.stdout.flush()
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
