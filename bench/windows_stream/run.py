"""Streams the simulated device into the program under Wine for each variant
and logs (PELMORA_BENCH_LOG of an instrumented tree) publishes, paints and
the device's stamps into LOGS/dev-NAME.log and LOGS/app-NAME.log.
usage: run.py DRIVER_BUILD SECONDS LOGS VARIANT_BUILD...
DRIVER_BUILD holds the minidriver, installer and window_probe; each
VARIANT_BUILD (.../tree-NAME/build/windows-x86_64) its Pelmora.exe and player."""
import os, subprocess, sys, time
HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "windows_app")
driver_build, seconds, LOGS, variants = sys.argv[1], float(sys.argv[2]), os.path.abspath(sys.argv[3]), sys.argv[4:]
sys.argv = [sys.argv[0], driver_build]
sys.path.insert(0, HERE)
import window_check as w
import device_check as d

def threads(pid):
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            for line in open("/proc/%d/task/%s/status" % (pid, tid)):
                if line.startswith("voluntary_ctxt_switches"):
                    out[tid] = int(line.split()[1])
        except OSError:
            pass
    return out

def main():
    w.WINE = w.wine_loader()
    w.own_display()
    w.PREFIX = os.path.join(w.BUILD, "wine-device-window-prefix")
    w.prepare_prefix()
    w.set_log_pixels(96)
    d.installer("unplug")
    d.plug()
    for build in variants:
        name = [c for c in build.split("/") if c.startswith("tree-")][0]
        logs = {k: os.path.join(LOGS, "%s-%s.log" % (k, name)) for k in ("dev", "app")}
        for p in logs.values():
            if os.path.exists(p): os.remove(p)
        env = dict(os.environ, PELMORA_BENCH_LOG="Z:" + logs["dev"].replace("/", "\\"))
        player = subprocess.Popen([w.WINE, os.path.join(build, "tests/windows/simdevice/pelmora_simdevice.exe"), d.SERIAL],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        w.STARTED.append(player)
        env = dict(os.environ, PELMORA_BENCH_LOG="Z:" + logs["app"].replace("/", "\\"))
        proc = w.start(os.path.join(build, "windows/app/Pelmora.exe"), env=env)
        d.wait_for_session("no page with the serial in the title", 60)
        time.sleep(3)
        t0, s0 = time.monotonic(), threads(proc.pid)
        time.sleep(seconds)
        t1, s1 = time.monotonic(), threads(proc.pid)
        rates = sorted(((s1[t] - s0.get(t, 0)) / (t1 - t0), t) for t in s1)[::-1][:4]
        print(name, "voluntary switches/s of the busiest threads:", ["%.0f" % r for r, _ in rates], flush=True)
        w.probe("post", str(w.WM_CLOSE), "0", "0", check=False)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill(); proc.wait()
        player.kill(); player.wait()
        time.sleep(2)

if __name__ == "__main__":
    try:
        main()
    finally:
        for p in reversed(w.STARTED):
            if p.poll() is None:
                p.kill(); p.wait()
        if "WINEPREFIX" in os.environ:
            w.stop_wineserver()
