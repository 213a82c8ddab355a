#!/usr/bin/env python3
"""Runs the Windows program under Wine against the simulated synthesizer
plugged in as a HID device (tests/windows/simdevice): the program finds it,
shows its pages with the serial in the title, rides out a wake from sleep (two
notices) with one reconnect in place, shows the status screens when it is
unplugged and reconnects when it is plugged in again, and ends at once when
closed during a session.

usage: device_check.py BUILD [SCREENSHOT_DIR]

BUILD is the 64-bit build folder of window_check.py, with the simulated
device's driver, installer and player built in tests/windows/simdevice. The
device lives in a Wine prefix of its own (BUILD/wine-device-window-prefix),
so the device-less window checks never see it.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_check as w  # noqa: E402

SIMDEVICE = os.path.join(w.BUILD, "tests", "windows", "simdevice")
INSTALLER = os.path.join(SIMDEVICE, "pelmora_simdevice_install.exe")
PLAYER = os.path.join(SIMDEVICE, "pelmora_simdevice.exe")
SERIAL = "WIN0042"
PAGE = "2"  # the piano roll
# A handshake that takes this long keeps the connecting screens up long
# enough to be seen. The device answers every other transfer at once, as a
# real one does: under Wine a transfer the minidriver holds is not cancelled
# (it ends when the device answers), which Windows does not share.
HANDSHAKE_DELAY_MS = "400"
TITLE_WITH_SERIAL = w.TITLE + " Serial:" + SERIAL
PBT_APMRESUMESUSPEND = 7
POWER_RESUME = "Connection Error\\nPower Resume"


def installer(*args):
    return w.wine(INSTALLER, *args, check=False)


def restart_wine():
    w.stop_wineserver()
    w.start_wineserver()


def plug():
    if installer("plug", SERIAL).returncode == 0:
        return
    # Wine starts the driver it installed into a new prefix only after a
    # restart.
    restart_wine()
    listed = installer("list").stdout.replace("\r", "").split()
    if SERIAL not in listed and installer("plug", SERIAL).returncode != 0:
        w.fail("the simulated device does not appear")


def band(picture, lines):
    """The rows of the black band a status screen of so many lines covers."""
    top = (162 - 16 * lines) // 2
    return picture[top * w.LCD_W * 3:(top + 16 * lines + 8) * w.LCD_W * 3]


def first_line(picture, lines):
    """The rows of a status screen's first line of text, across the width."""
    top = (162 - 16 * lines) // 2 + 7
    return picture[top * w.LCD_W * 3:(top + 10) * w.LCD_W * 3]


def colourful(picture):
    return len({picture[i:i + 3] for i in range(0, len(picture), 3)}) >= 8


def shows_page(client):
    return colourful(w.capture(client))


def wait_for_session(what, seconds):
    w.until(what, lambda: w.info()["title"] == TITLE_WITH_SERIAL and shows_page(w.info()["client"]), seconds)


def shown_text(picture, references):
    """Which of the status screens the picture shows, or None."""
    for text, reference in references.items():
        lines = text.count("\\n") + 1
        if band(picture, lines) == band(reference, lines):
            return text
    return None


def watch_for_status(client, reconnecting, errors, seconds, no_device=None):
    """Captures the picture until a status screen shows: "Reconnecting..."
    over the picture, or any "Connection Error" of two or three lines (or,
    when given, "No Device"). Returns which, or None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        picture = w.capture(client)
        if no_device is not None and picture == no_device:
            return "No Device"
        if band(picture, 1) == band(reconnecting, 1):
            return "Reconnecting..."
        for lines, reference in errors.items():
            if first_line(picture, lines) == first_line(reference, lines):
                return "Connection Error"
        time.sleep(0.05)
    return None


def main():
    w.WINE = w.wine_loader()
    for exe in (w.PELMORA, w.PROBE, INSTALLER, PLAYER):
        if not os.path.exists(exe):
            w.fail("%s is missing" % exe)
    began = time.monotonic()
    w.own_display()
    w.PREFIX = os.path.join(w.BUILD, "wine-device-window-prefix")
    w.prepare_prefix()
    w.set_log_pixels(96)
    installer("unplug")
    no_device = w.status_reference("No Device")
    reconnecting = w.status_reference("Reconnecting...")
    errors = {2: w.status_reference("Connection Error\\nX"), 3: w.status_reference("Connection Error\\nX\\nY")}
    wake_texts = {text: w.status_reference(text) for text in
                  ("Reconnecting...", "Connection Error\\nI/O Cancellation Pending", POWER_RESUME)}

    w.step("the program finds the plugged synthesizer and shows its page")
    plug()
    player = subprocess.Popen([w.WINE, PLAYER, SERIAL, "--page", PAGE, "--handshake-delay", HANDSHAKE_DELAY_MS],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    w.STARTED.append(player)
    proc = w.start(w.PELMORA, args=w.SCALE_ONE)
    wait_for_session("no page with the serial in the title", 30)
    facts = w.info()
    w.save_shot("windows-device-page.png", facts["window"])

    w.step("a wake from sleep during the session: resume notices 18, then 7")
    for notice in (w.PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND):
        w.probe("post", str(w.WM_POWERBROADCAST), str(notice), "0")
    seen = []
    calm = 0  # pictures in a row with the page and no status screen since one was seen
    deadline = time.monotonic() + 20
    while calm < 10 and time.monotonic() < deadline:
        picture = w.capture(facts["client"])
        text = shown_text(picture, wake_texts)
        if text is None and any(first_line(picture, n) == first_line(r, n) for n, r in errors.items()):
            text = "Connection Error\\n(another cause)"
        if text is not None and text not in seen:
            seen.append(text)
        calm = calm + 1 if seen and text is None and colourful(picture) else 0
    print("device check: shown after the wake:", seen, flush=True)
    if seen != ["Reconnecting..."] or calm < 10 or w.info()["title"] != TITLE_WITH_SERIAL:
        w.fail("one wake, one quiet reconnect in place; shown: %r" % seen)

    w.step("unplugged: a connection error, then \"No Device\" and the bare title")
    unplug = subprocess.Popen([w.WINE, INSTALLER, "unplug", SERIAL], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    w.STARTED.append(unplug)
    shown = watch_for_status(facts["client"], reconnecting, errors, 10, no_device)
    if shown is None:
        w.fail("no status screen after the unplug")
    if shown == "No Device":
        # Wine's arrival notice wakes the worker's pause, so on a loaded
        # machine the connection error can be gone between two captures.
        print("device check: the connection error was shorter than one capture", flush=True)
    w.save_shot("windows-unplugged.png", facts["window"])
    if unplug.wait(timeout=20) != 0:
        w.fail("the simulated device could not be unplugged")
    w.until("no \"No Device\" after the unplug", lambda: w.capture(facts["client"]) == no_device, 20)
    if w.info()["title"] != w.TITLE:
        w.fail("title %r without a device" % w.info()["title"])

    w.step("plugged in again: the session comes back")
    plug()
    wait_for_session("no reconnect after plugging in again", 20)

    w.step("closed during a session: ends within the worker's budget")
    w.probe("post", str(w.WM_CLOSE), "0", "0")
    if w.wait_exit(proc, 3) != 0:
        w.fail("exit code after WM_CLOSE during a session")
    player.kill()
    player.wait()
    installer("unplug")
    print("device check passed in %.0f s" % (time.monotonic() - began), flush=True)


if __name__ == "__main__":
    w.SHOTS = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    try:
        main()
    finally:
        for proc in reversed(w.STARTED):
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        if "WINEPREFIX" in os.environ:
            w.stop_wineserver()
