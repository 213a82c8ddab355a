"""What the window checks share: failing with a message, waiting for a
condition, and a virtual X display of their own (Xvfb).

A check imports it after putting this folder on its path:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    import x_display
"""
import os
import select
import subprocess
import sys
import time


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def until(what, check, seconds, poll=0.1):
    """check()'s first true result within `seconds`; fails with `what` otherwise."""
    deadline = time.monotonic() + seconds
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            fail(what)
        time.sleep(poll)


def own_display(screen, *options):
    """Starts Xvfb with `screen` ("WxHxD") and `options`, points DISPLAY at it
    once it accepts connections, and returns the server's process."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
                               "-nolisten", "tcp", "-noreset", *options], pass_fds=(write_end,),
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        if not select.select([read_end], [], [], 10)[0]:
            server.kill()
            fail("Xvfb did not start")
        chunk = os.read(read_end, 16)
        if not chunk:
            fail("Xvfb ended at once")
        number += chunk
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return server
