#!/usr/bin/env python3
# velmora_lng_check against packs made wrong on purpose, each beside a correct one: every fault
# must be reported (and fail the check), the correct pack must pass.
# Arguments: the command that runs the checker (an emulator may come first).
import pathlib
import subprocess
import sys
import tempfile

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "resources/Localization/de-de.txt"
GOOD = SOURCE.read_text(encoding="utf-8")
ABOUT = 'MenuItemAbout="Info"'


def utf16(text, bom="\ufeff"):
    return (bom + text).encode("utf-16-le", "surrogatepass")


def edit(old, new):  # a case whose edit no longer applies fails: the pack stays correct
    return utf16(GOOD.replace(old, new, 1))


# bytes, exit code, text the report must hold[, file name if not de-de.lng]
CASES = [
    (utf16(GOOD), 0, "0 error(s), 0 warning(s)"),
    (utf16(GOOD, bom=""), 0, "0 error(s)"),
    (edit(ABOUT + "\n", ""), 1, "error: missing key MenuItemAbout"),
    (edit(ABOUT, 'MenuItemAbout=""'), 1, "MenuItemAbout (line 13) is empty"),
    (edit(ABOUT, 'MenuItemAbout="Info %User"'), 1, "MenuItemAbout (line 13): takes no placeholder"),
    (edit("Ihnen wurden für %Timer Minuten", "%User: für %Timer Minuten"), 1,
     "BalloonStartMessage (line 3): the placeholders do not fit; it takes %Timer (a number)"),
    (edit("%User ist bereits Mitglied. Verbleibende Zeit: %Timer", "%Timer: %User"), 1,
     "BalloonAlreadyAdmin2 (line 7): the placeholders do not fit"),
    (edit("für %Timer Tage", "für einige Tage"), 0,
     "warning: MenuElevateForXDays (line 17): does not show %Timer"),
    (GOOD.encode("utf-8"), 1, "wrong encoding: 8-bit text"),
    (b"\xef\xbb\xbf" + GOOD.encode("utf-8"), 1, "wrong encoding: UTF-8 with a byte-order mark"),
    (("\ufeff" + GOOD).encode("utf-16-be"), 1, "wrong encoding: UTF-16 big-endian"),
    (edit('"Info"', '"In\ud800fo"'), 1, "unpaired surrogate at line 13"),
    (edit(ABOUT, ABOUT + '\nMenuItemExit="Beenden"'), 1, "error: unknown key MenuItemExit (line 14)"),
    (edit("MenuItemStatus=", "menuItemStatus="), 1, "keys are case-sensitive: MenuItemStatus"),
    (edit(ABOUT, 'MenuItemAbout="' + "ä" * 200 + '"'), 1,
     "MenuItemAbout (line 13): 200 UTF-16 units long; the tray cuts it to 199"),
    (edit('BalloonCaption="Velmora"', 'BalloonCaption="Velmora MenuItemAbout="'), 1,
     'MenuItemAbout=" first occurs at line 2 inside another entry'),
    (edit(ABOUT, ABOUT + '\nMenuItemAbout="Über"'), 0,
     "warning: MenuItemAbout (line 14) repeats the key of line 13"),
    (utf16(GOOD), 1, "error: the file name must be a language name", "de.de.lng"),
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
