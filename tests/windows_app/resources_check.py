#!/usr/bin/env python3
"""Checks the resources linked into a Pelmora.exe, read back with wrestool:
icon group 107 with its 16, 32, 64 and 128 pixel images, the version
numbers and strings, and the manifest, whose architecture must be the one
the program was built for (Windows refuses a program whose manifest names
another).

usage: resources_check.py PELMORA.EXE amd64|x86
"""
import re
import struct
import subprocess
import sys
import tempfile
import os

EXE, ARCH = sys.argv[1:3]
PE_MACHINE = {"amd64": 0x8664, "x86": 0x014C}
VERSION_STRINGS = {
    "FileDescription": "Tonverra mini LCD host",
    "FileVersion": "2026-10-17",
    "InternalName": "Pelmora",
    "OriginalFilename": "Pelmora.exe",
    "ProductName": "Pelmora",
    "ProductVersion": "2026-10-17",
}
MANIFEST_PARTS = [
    r'<assemblyIdentity[^>]*name="Pelmora"',
    r'<assemblyIdentity[^>]*version="0\.1\.0\.0"',
    r'<assemblyIdentity[^>]*processorArchitecture="%s"' % ARCH,
    r'<requestedExecutionLevel[^>]*level="asInvoker"[^>]*uiAccess="false"',
    r'<dpiAware[^>]*>true/pm</dpiAware>',
    r'<dpiAwareness[^>]*>PerMonitorV2</dpiAwareness>',
    r'<supportedOS Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"/>',
]
failures = []


def resource(*selector):
    result = subprocess.run(["wrestool", "-x", "--raw", *selector, EXE], capture_output=True)
    if result.returncode != 0 or not result.stdout:
        failures.append("no resource %s" % " ".join(selector))
    return result.stdout


def check_machine():
    with open(EXE, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    if machine != PE_MACHINE[ARCH]:
        failures.append("machine 0x%04x is not %s" % (machine, ARCH))


def check_icon():
    with tempfile.TemporaryDirectory() as work:
        ico = os.path.join(work, "107.ico")
        subprocess.run(["wrestool", "-x", "--type=group_icon", "--name=107", "-o", ico, EXE], capture_output=True)
        if not os.path.exists(ico):
            failures.append("no icon group 107")
            return
        listing = subprocess.run(["icotool", "-l", ico], capture_output=True, text=True).stdout
    sizes = sorted(int(w) for w in re.findall(r"--width=(\d+)", listing))
    if sizes != [16, 32, 64, 128]:
        failures.append("icon 107 has the sizes %s" % sizes)


def check_version():
    raw = resource("--type=version")
    at = raw.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        failures.append("no fixed version information")
    else:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", raw, at + 8)
        expected = ((2026 << 16) | 10, 17 << 16)
        if (file_ms, file_ls) != expected or (product_ms, product_ls) != expected:
            failures.append("version numbers %08x.%08x / %08x.%08x" % (file_ms, file_ls, product_ms, product_ls))
    text = raw.decode("utf-16-le", "replace")
    for key, value in VERSION_STRINGS.items():
        if not re.search(re.escape(key) + "\0+" + re.escape(value) + "\0", text):
            failures.append("version string %s is not %r" % (key, value))


def check_manifest():
    manifest = resource("--type=24", "--name=1").decode("utf-8", "replace")
    for part in MANIFEST_PARTS:
        if not re.search(part, manifest):
            failures.append("manifest lacks %s" % part)


check_machine()
check_icon()
check_version()
check_manifest()
for failure in failures:
    print("FAIL:", EXE, failure)
if failures:
    sys.exit(1)
print("resources of %s (%s): icon 107, version and manifest as expected" % (EXE, ARCH))
