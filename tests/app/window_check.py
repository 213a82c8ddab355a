#!/usr/bin/env python3
"""Drives `pelmora` in a virtual X display the way a person would, and
checks what they would see: the window's size at each scale, the LCD
picture, the context menu, Ctrl+S and closing the window; on a small
screen, that a large scale is held to what fits; a trace replayed at its
recorded pace, named in the title; and the menu in English
and in Japanese, the Japanese one drawn with glyphs rather than the boxes a
Latin-only font set-up gives. Under a headless Wayland compositor (weston,
when installed): the X server it offers is preferred, and without one the
program still runs and says that it cannot stay on top.

usage: window_check.py PELMORA STATUS_REFERENCE CLIPBOARD_PROBE

Starts its own Xvfb on a display number the server picks itself, so that
several runs at the same time never share or steal a display, and that
never resets (an X server that resets when its last client leaves refuses
connections for a moment).
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from x_display import fail, until  # noqa: E402
import x_display  # noqa: E402

PELMORA, REFERENCE, CLIPBOARD_PROBE = sys.argv[1:4]
LCD_W, LCD_H = 320, 170
TITLE = "Pelmora Ver 2026-10-17"
# Generous pauses for menus under a loaded machine (sanitizers, parallel tests).
MENU_OPENS = 0.8
MENU_CROP = (200, 90)  # the part of the screen below and right of a menu's corner
KEY_GAP = 0.25


STARTED = []  # every process this script started, ended in main


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def find_window(proc):
    def visible():
        if proc.poll() is not None:
            fail("pelmora ended early with code %s" % proc.returncode)
        ids = run("xdotool", "search", "--onlyvisible", "--name", "^Pelmora Ver").split()
        return ids[0] if ids else None
    return until("no window appeared", visible, 30)


def client_size(window):
    info = run("xwininfo", "-id", window)
    width = int(info.split("Width:")[1].split()[0])
    height = int(info.split("Height:")[1].split()[0])
    return width, height


def position(window):
    info = run("xwininfo", "-id", window)
    return (int(info.split("Absolute upper-left X:")[1].split()[0]),
            int(info.split("Absolute upper-left Y:")[1].split()[0]))


def capture(window):
    """The window's pixels as (width, height, bytes RGB)."""
    data = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], capture_output=True).stdout
    return parse_ppm(data)


def parse_ppm(data):
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        fail("unexpected capture format")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    return width, height, pixels


def colours(pixels):
    return {pixels[i:i + 3] for i in range(0, len(pixels), 3)}


def looks_like_lcd_content(picture):
    # Status screens are white text on black; the demo's pages are colourful.
    return len(colours(picture[2])) >= 8


def keeps_changing(window, pictures=3, seconds=10):
    """True once `pictures` different pictures were seen: frames keep coming."""
    seen = set()
    end = time.monotonic() + seconds
    while time.monotonic() < end and len(seen) < pictures:
        seen.add(capture(window)[2])
        time.sleep(0.2)
    return len(seen) >= pictures


def blocks_are_sharp(picture, scale):
    width, height, pixels = picture
    for by in range(0, height, scale):
        for bx in range(0, width, scale):
            first = pixels[(by * width + bx) * 3:(by * width + bx) * 3 + 3]
            for y in range(by, by + scale):
                row = pixels[(y * width + bx) * 3:(y * width + bx + scale) * 3]
                if row != first * scale:
                    return False
    return True


def send_delete_window(window):
    """What a window manager's close button does: WM_DELETE_WINDOW."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("message", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = x11.XOpenDisplay(None)
    event = Event()
    event.message.type = 33  # ClientMessage
    event.message.window = int(window)
    event.message.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.message.format = 32
    event.message.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def own_display(screen="1920x1200x24", *options):
    STARTED.append(x_display.own_display(screen, *options))


def start(home, *args, gdk_scale="1", stderr=None, **extra_env):
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               GDK_BACKEND="x11", NO_AT_BRIDGE="1", GDK_SCALE=gdk_scale, **extra_env)
    proc = subprocess.Popen([PELMORA, *args], env=env, stderr=stderr)
    STARTED.append(proc)
    return proc


def close_and_wait(proc, window):
    send_delete_window(window)
    began = time.monotonic()
    try:
        code = proc.wait(timeout=2.0)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("the process was still running 2 s after its window was closed")
    if code != 0:
        fail("exit code %d after closing" % code)
    return time.monotonic() - began


def check_demo(home):
    proc = start(home, "--demo")
    window = find_window(proc)
    # Without --scale, the largest of 1 and 2 that leaves room on the screen.
    until("client area %s at first, expected 640x340" % (client_size(window),),
          lambda: client_size(window) == (2 * LCD_W, 2 * LCD_H), 10)
    until("no LCD content within 10 s", lambda: looks_like_lcd_content(capture(window)), 10)
    until("title without the demo serial",
          lambda: run("xdotool", "getwindowname", window) == TITLE + " Serial:DEMO0001", 10)
    if not keeps_changing(window):
        fail("the picture stopped changing while the demo plays")
    # Hidden for a while (the program then stops sending pictures), then back.
    run("xdotool", "windowunmap", "--sync", window)
    time.sleep(0.5)
    run("xdotool", "windowmap", "--sync", window)
    if not keeps_changing(window):
        fail("the picture stopped changing after the window was hidden and shown again")
    print("demo: 640x340 at first, LCD content that keeps changing, also after hiding; title with serial", flush=True)

    # Scale 3 from the context menu, the way a keyboard-and-mouse user picks it.
    run("xdotool", "mousemove", "--window", window, "160", "85")
    run("xdotool", "click", "3")
    time.sleep(MENU_OPENS)
    for key in ("Down", "Right", "Down", "Down", "Return"):
        run("xdotool", "key", key)
        time.sleep(KEY_GAP)
    until("scale 3 did not give 960x510", lambda: client_size(window) == (960, 510), 10)

    def sharp_at_scale_3():
        picture = capture(window)
        return picture[0] == 960 and looks_like_lcd_content(picture) and blocks_are_sharp(picture, 3)
    until("the picture at scale 3 is not made of sharp 3x3 pixels", sharp_at_scale_3, 10)
    print("demo: scale 3 gives 960x510 with sharp pixels", flush=True)

    run("xdotool", "windowfocus", "--sync", window)
    # Opening the menu and leaving it changes nothing, whatever the scale.
    run("xdotool", "key", "shift+F10")
    time.sleep(MENU_OPENS)
    run("xdotool", "key", "Escape")
    time.sleep(MENU_OPENS)
    if client_size(window) != (960, 510):
        fail("opening and closing the menu at scale 3 changed the size to %s" % (client_size(window),))

    hints = run("xprop", "-id", window, "WM_NORMAL_HINTS")
    if "minimum size: 960 by 510" not in hints or "maximum size: 960 by 510" not in hints:
        fail("the window can be resized: " + hints)

    run("xdotool", "key", "ctrl+c")
    until("Ctrl+C left no 320x170 picture on the clipboard",
          lambda: run(CLIPBOARD_PROBE) == "%dx%d" % (LCD_W, LCD_H), 10)
    until("the title does not say the picture was copied",
          lambda: "Copied to the clipboard" in run("xdotool", "getwindowname", window), 5)
    print("demo: fixed size, Ctrl+C copies the 320x170 picture and says so", flush=True)

    run("xdotool", "key", "ctrl+s")
    saved = until("Ctrl+S wrote no PNG", lambda: [f for f in os.listdir(home) if f.endswith(".png")], 10)
    path = os.path.join(home, saved[0])
    until("the saved PNG is not 320x170", lambda: png_size(path) == (LCD_W, LCD_H), 10)
    until("the title does not say where", lambda: "Saved:" + path in run("xdotool", "getwindowname", window), 10)
    print("demo: Ctrl+S wrote", saved[0], flush=True)

    # The same menu from the keyboard opens with its first entry selected.
    run("xdotool", "key", "shift+F10")
    time.sleep(MENU_OPENS)
    for key in ("Right", "Down", "Return"):
        run("xdotool", "key", key)
        time.sleep(KEY_GAP)
    until("Shift+F10 and 2x did not give 640x340", lambda: client_size(window) == (640, 340), 10)
    print("demo: Shift+F10 menu gives scale 2", flush=True)
    until("the save notice stayed in the title",
          lambda: "Saved:" not in run("xdotool", "getwindowname", window), 10)
    print("demo: the save notice has left the title", flush=True)

    # Growing near the screen's corner moves the window just enough to fit.
    run("xdotool", "windowmove", "--sync", window, "1900", "1190")
    run("xdotool", "key", "shift+F10")
    time.sleep(MENU_OPENS)
    for key in ("Right", "Down", "Down", "Down", "Return"):
        run("xdotool", "key", key)
        time.sleep(KEY_GAP)
    until("scale 4 near the corner did not give 1280x680 at (640, 520)",
          lambda: client_size(window) == (1280, 680) and position(window) == (640, 520), 10)
    print("demo: scale 4 near the corner moves the window onto the screen", flush=True)

    print("demo: ended %.2f s after closing" % close_and_wait(proc, window), flush=True)


def check_hidpi(home):
    # A toolkit scale of 2 doubles every window pixel: still whole, still sharp.
    trace = os.path.join(home, "session.trace")
    proc = start(home, "--demo", "--scale", "1", "--record", trace, gdk_scale="2", stderr=subprocess.PIPE)
    window = find_window(proc)
    until("client area at GDK_SCALE=2 is not 640x340", lambda: client_size(window) == (640, 340), 10)

    def sharp_at_2():
        picture = capture(window)
        return looks_like_lcd_content(picture) and blocks_are_sharp(picture, 2)
    until("the HiDPI picture is not made of sharp 2x2 pixels", sharp_at_2, 10)
    print("hidpi: 640x340 device pixels, sharp", flush=True)

    # Ctrl+C in a terminal ends the program as closing its window does.
    proc.send_signal(signal.SIGINT)
    try:
        code = proc.wait(timeout=2.0)
    except subprocess.TimeoutExpired:
        fail("the process was still running 2 s after SIGINT")
    if code != 0:
        fail("exit code %d after SIGINT" % code)
    told = "pelmora: trace written to %s (%d KB)" % (trace, -(-os.path.getsize(trace) // 1024))
    if told not in proc.stderr.read().decode(errors="replace"):
        fail("the exit did not say: " + told)
    print("hidpi: SIGINT ends the program cleanly and says where the trace went", flush=True)


def check_no_device(home):
    reference = parse_ppm(subprocess.run([REFERENCE, "No Device"], capture_output=True).stdout)
    proc = start(home, "--scale", "1")
    window = find_window(proc)
    # Give the worker time to look for devices and draw its own screen.
    time.sleep(1.5)
    until("the window does not show \"No Device\"", lambda: capture(window) == reference, 10)
    if run("xdotool", "getwindowname", window) != TITLE:
        fail("title is not the bare program title")
    print("no device: \"No Device\" shown", flush=True)
    close_and_wait(proc, window)


def check_replay(home):
    # A trace from another system, at its recorded pace (2 s), ending on its
    # last picture with the title saying so.
    trace = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "traces", "mac_unplug.trace")
    reference = parse_ppm(subprocess.run([REFERENCE, "No Device"], capture_output=True).stdout)
    proc = start(home, "--replay", trace, "--scale", "1")
    window = find_window(proc)
    replay = " \u2014 Replay of mac_unplug.trace (macOS, 2026-10-17)"
    if replay not in run("xdotool", "getwindowname", window):
        fail("the title does not name the replay")
    # The device went with the recording's end, and its serial with it.
    until("the replay's end is not in the title",
          lambda: run("xdotool", "getwindowname", window) == TITLE + replay + ": ended", 10)
    until("the last picture is not \"No Device\"", lambda: capture(window) == reference, 5)
    print("replay: named in the title, ended on its last picture", flush=True)
    close_and_wait(proc, window)


def check_without_shared_memory(home):
    # A server that cannot share memory (a remote one, say) gets the picture
    # through the toolkit's own drawing instead.
    proc = start(home, "--demo", "--scale", "2")
    window = find_window(proc)
    until("no LCD content within 10 s", lambda: looks_like_lcd_content(capture(window)), 10)
    if not keeps_changing(window):
        fail("the picture stopped changing")
    if not blocks_are_sharp(capture(window), 2):
        fail("the picture at scale 2 is not made of sharp 2x2 pixels")
    print("no shared memory: the toolkit paints the changing picture, sharp at 2x", flush=True)
    close_and_wait(proc, window)


def check_small_screen(home):
    # 6x is 1920x1020: on a 1280x800 screen the largest whole scale that fits
    # is 4, and the window lies on the screen.
    proc = start(home, "--demo", "--scale", "6")
    window = find_window(proc)
    until("--scale 6 on 1280x800 did not give 1280x680 on the screen",
          lambda: client_size(window) == (1280, 680) and position(window)[1] + 680 <= 800, 10)
    print("small screen: --scale 6 is held to 4, on the screen", flush=True)

    # 5x and 6x are in the menu but cannot be chosen: from 2x, going up past
    # 1x wraps round to the last scale that can, 4x.
    run("xdotool", "windowfocus", "--sync", window)
    for keys in (("Right", "Down", "Return"), ("Right", "Up", "Return")):
        run("xdotool", "key", "shift+F10")
        time.sleep(MENU_OPENS)
        for key in keys:
            run("xdotool", "key", key)
            time.sleep(KEY_GAP)
        if keys[1] == "Down":
            until("2x from the menu did not give 640x340", lambda: client_size(window) == (640, 340), 10)
    until("the last scale on offer is not 4x", lambda: client_size(window) == (1280, 680), 10)
    print("small screen: 5x and 6x cannot be chosen", flush=True)
    close_and_wait(proc, window)


def japanese_locale(home):
    """Environment for LANG=ja_JP.UTF-8, generating the locale privately when
    the system has not (a Japanese desktop has; a build machine may not)."""
    if "ja_JP.utf8" in run("locale", "-a").split():
        return {"LANG": "ja_JP.UTF-8"}
    path = os.path.join(home, "locale")
    os.makedirs(path, exist_ok=True)
    done = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", os.path.join(path, "ja_JP.UTF-8")],
                          capture_output=True)
    if not os.path.isdir(os.path.join(path, "ja_JP.UTF-8")):
        fail("cannot make the ja_JP.UTF-8 locale: %s" % done.stderr.decode(errors="replace"))
    return {"LANG": "ja_JP.UTF-8", "LOCPATH": path}


def latin_only_fonts(home):
    """A fontconfig set-up that offers a Latin-only font and nothing else."""
    conf = os.path.join(home, "latin-fonts.conf")
    with open(conf, "w") as f:
        f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>\n'
                '  <dir>/usr/share/fonts/truetype/dejavu</dir>\n'
                '  <cachedir>%s</cachedir>\n'
                '  <include ignore_missing="yes">/etc/fonts/conf.d</include>\n</fontconfig>\n'
                % os.path.join(home, "fc-cache"))
    return {"FONTCONFIG_FILE": conf}


def menu_picture(home, **env):
    """The context menu as drawn, opened from the keyboard at the centre of
    the picture: a crop of the screen below and right of that point. Over
    the still "No Device" screen, so that only the menu can differ."""
    proc = start(home, "--scale", "1", **env)
    window = find_window(proc)
    run("xdotool", "windowmove", "--sync", window, "0", "0")
    run("xdotool", "windowfocus", "--sync", window)
    time.sleep(MENU_OPENS)
    run("xdotool", "key", "shift+F10")
    time.sleep(MENU_OPENS * 2)
    x, y = position(window)
    width, height, pixels = capture("root")
    left, top, w, h = x + LCD_W // 2, y + LCD_H // 2, MENU_CROP[0], MENU_CROP[1]
    crop = b"".join(pixels[((top + row) * width + left) * 3:((top + row) * width + left + w) * 3] for row in range(h))
    run("xdotool", "key", "Escape")
    time.sleep(KEY_GAP)
    close_and_wait(proc, window)
    if len(colours(crop)) < 3:
        fail("no menu to be seen with %s" % env)
    return crop


def check_menu_languages(home):
    english = {"LANG": "C.UTF-8"}
    japanese = japanese_locale(home)
    latin = latin_only_fonts(home)
    en = menu_picture(home, **english)
    en_latin = menu_picture(home, **english, **latin)
    ja = menu_picture(home, **japanese)
    ja_latin = menu_picture(home, **japanese, **latin)
    # Kept for a look when a check fails.
    for name, crop in (("en", en), ("en-latin", en_latin), ("ja", ja), ("ja-latin", ja_latin)):
        with open(os.path.join(tempfile.gettempdir(), "pelmora-menu-%s.ppm" % name), "wb") as f:
            f.write(b"P6 %d %d 255\n" % MENU_CROP + crop)
    if en == ja:
        fail("the menu is the same under LANG=C.UTF-8 and LANG=ja_JP.UTF-8")
    if en != en_latin:
        fail("the English menu needs more than a Latin font")
    if ja == ja_latin:
        fail("the Japanese menu draws the same without a Japanese font: boxes, not glyphs")
    print("menus: English in Latin letters; Japanese drawn in Japanese glyphs, not boxes", flush=True)
    proc = start(home, **japanese)
    window = find_window(proc)
    run("xdotool", "windowfocus", "--sync", window)
    run("xdotool", "key", "ctrl+c")
    until("the copy notice is not in Japanese",
          lambda: "クリップボードにコピーしました" in run("xdotool", "getwindowname", window), 5)
    close_and_wait(proc, window)
    print("title notices: in Japanese under LANG=ja_JP.UTF-8", flush=True)


def check_wayland(home):
    runtime = tempfile.mkdtemp(dir=home)  # private (0700), as a compositor wants it
    log = os.path.join(home, "weston.log")
    STARTED.append(subprocess.Popen(["weston", "--backend=headless-backend.so", "--xwayland", "--socket=wl-check",
                                     "--idle-time=0", "--log=" + log], env=dict(os.environ, XDG_RUNTIME_DIR=runtime),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    marker = "xserver listening on display "
    found = until("weston offered no X server", lambda: open(log).read().split(marker)[1:] if os.path.exists(log) else 0, 20)
    xwayland = found[0].split()[0]
    env = dict(os.environ, HOME=home, NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wl-check")
    env.pop("GDK_BACKEND", None)
    for display in (xwayland, None):
        env.pop("DISPLAY", None) if display is None else env.update(DISPLAY=display)
        proc = subprocess.Popen([PELMORA, "--on-top"], env=env, stderr=subprocess.PIPE)
        STARTED.append(proc)
        if display:
            until("no window on the compositor's X server", lambda: run("env", "DISPLAY=" + display, "xdotool", "search",
                                                                        "--onlyvisible", "--name", "^Pelmora Ver"), 30)
        else:
            time.sleep(3)
        proc.send_signal(signal.SIGTERM)
        refused = b"--on-top: not available on Wayland" in proc.stderr.read()
        if proc.wait(timeout=10) != 0 or refused != (display is None):
            fail("with X server %s: exit code %s, on top refused: %s" % (display, proc.returncode, refused))
    print("wayland: the X server beside it is preferred; without one, \"always on top\" is refused", flush=True)


def main():
    try:
        own_display()
        for check in (check_demo, check_hidpi, check_no_device, check_replay):
            with tempfile.TemporaryDirectory() as home:
                check(home)
        own_display("1920x1200x24", "-extension", "MIT-SHM")
        with tempfile.TemporaryDirectory() as home:
            check_without_shared_memory(home)
        own_display("1280x800x24")
        for check in (check_small_screen, check_menu_languages):
            with tempfile.TemporaryDirectory() as home:
                check(home)
        if shutil.which("weston"):
            with tempfile.TemporaryDirectory() as home:
                check_wayland(home)
    finally:
        for proc in reversed(STARTED):
            if proc.poll() is None:
                proc.kill()
                proc.wait()
    print("PASS", flush=True)


if __name__ == "__main__":
    main()
