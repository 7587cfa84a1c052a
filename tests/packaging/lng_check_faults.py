#!/usr/bin/env python3
# velmora_lng_check against packs made wrong on purpose, each beside a correct one: every fault
# must be reported (and fail the check), the correct pack must pass.
# Arguments: the command that runs the checker (an emulator may come first).
import pathlib
import subprocess
import sys
import tempfile

GOOD = pathlib.Path(sys.path[0], "../../resources/Localization/de-de.txt").read_text("utf-8")
ABOUT = 'MenuItemAbout="Info"'


def pack(old="", new="", bom="\ufeff"):  # an edit that no longer applies fails its case
    return (bom + GOOD.replace(old, new, 1)).encode("utf-16-le", "surrogatepass")


# bytes, exit code, text the report must hold[, file name if not de-de.lng]
CASES = [
    (pack(), 0, "0 error(s), 0 warning(s)"),
    (pack(bom=""), 0, "0 error(s)"),
    (pack(ABOUT + "\n", ""), 1, "error: missing key MenuItemAbout"),
    (pack(ABOUT, 'MenuItemAbout=""'), 1, "MenuItemAbout (line 13) is empty"),
    (pack(ABOUT, 'MenuItemAbout="Info %User"'), 1, "MenuItemAbout (line 13): takes no placeholder"),
    (pack("Ihnen wurden für %Timer Minuten", "%User: für %Timer Minuten"), 1,
     "BalloonStartMessage (line 3): the placeholders do not fit; it takes %Timer (a number)"),
    (pack("für %Timer Tage", "für einige Tage"), 0,
     "warning: MenuElevateForXDays (line 17): does not show %Timer"),
    (GOOD.encode("utf-8"), 1, "wrong encoding: 8-bit text"),
    (b"\xef\xbb\xbf" + GOOD.encode("utf-8"), 1, "wrong encoding: UTF-8 with a byte-order mark"),
    (("\ufeff" + GOOD).encode("utf-16-be"), 1, "wrong encoding: UTF-16 big-endian"),
    (pack('"Info"', '"In\ud800fo"'), 1, "unpaired surrogate at line 13"),
    (pack(ABOUT, ABOUT + '\nMenuItemExit="Beenden"'), 1, "error: unknown key MenuItemExit (line 14)"),
    (pack("MenuItemStatus=", "menuItemStatus="), 1, "keys are case-sensitive: MenuItemStatus"),
    (pack(ABOUT, 'MenuItemAbout="' + "ä" * 200 + '"'), 1,
     "MenuItemAbout (line 13): 200 UTF-16 units long; the tray cuts it to 199"),
    (pack('BalloonCaption="Velmora"', 'BalloonCaption="Velmora MenuItemAbout="'), 1,
     'MenuItemAbout=" first occurs at line 2 inside another entry'),
    (pack(ABOUT, ABOUT + '\nMenuItemAbout="Über"'), 0,
     "warning: MenuItemAbout (line 14) repeats the key of line 13"),
    (pack(), 1, "error: the file name must be a language name", "de.de.lng"),
]
failures = 0
with tempfile.TemporaryDirectory() as folder:
    for number, (data, code, expected, *name) in enumerate(CASES):
        path = pathlib.Path(folder, str(number), *(name or ["de-de.lng"]))
        path.parent.mkdir()
        path.write_bytes(data)
        run = subprocess.run([*sys.argv[1:], str(path)], capture_output=True, text=True)
        if run.returncode != code or expected not in run.stdout:
            failures += 1
            print(f"FAIL [{expected}]: exit {run.returncode}, want {code}:\n{run.stdout}{run.stderr}")
print(f"{len(CASES) - failures} passed, {failures} failed")
raise SystemExit(1 if failures else 0)
