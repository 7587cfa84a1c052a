#!/usr/bin/env python3
"""velmora_lng_check against packs made wrong on purpose, each beside a correct one: every
fault must be reported (and fail the check), the correct pack must pass.
Arguments: the command that runs the checker (an emulator may come first)."""
import pathlib
import subprocess
import sys
import tempfile

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "resources/Localization/de-de.txt"
GOOD = SOURCE.read_text(encoding="utf-8")


def utf16(text):
    return ("\ufeff" + text).encode("utf-16-le", "surrogatepass")


def edit(old, new):
    assert old in GOOD, old
    return utf16(GOOD.replace(old, new, 1))


# name, file name, bytes, exit code, text the report must hold
CASES = [
    ("correct pack", "de-de.lng", utf16(GOOD), 0, "0 error(s), 0 warning(s)"),
    ("correct pack without a byte-order mark", "de-de.lng", GOOD.encode("utf-16-le"), 0,
     "0 error(s)"),
    ("missing key", "de-de.lng", edit('MenuItemAbout="Info"\n', ""), 1,
     "error: missing key MenuItemAbout"),
    ("empty value", "de-de.lng", edit('MenuItemAbout="Info"', 'MenuItemAbout=""'), 1,
     "MenuItemAbout (line 13) is empty"),
    ("placeholder in an entry that takes none", "de-de.lng",
     edit('MenuItemAbout="Info"', 'MenuItemAbout="Info %User"'), 1,
     "MenuItemAbout (line 13): takes no placeholder"),
    ("placeholder of another entry", "de-de.lng",
     edit("Ihnen wurden für %Timer Minuten", "%User: für %Timer Minuten"), 1,
     "BalloonStartMessage (line 3): the placeholders do not fit; it takes %Timer (a number)"),
    ("placeholders out of order", "de-de.lng",
     edit("%User ist bereits Mitglied. Verbleibende Zeit: %Timer", "%Timer: %User"), 1,
     "BalloonAlreadyAdmin2 (line 7): the placeholders do not fit"),
    ("placeholder left out", "de-de.lng", edit("für %Timer Tage", "für einige Tage"), 0,
     "warning: MenuElevateForXDays (line 17): does not show %Timer"),
    ("UTF-8 text", "de-de.lng", GOOD.encode("utf-8"), 1, "wrong encoding: 8-bit text"),
    ("UTF-8 with a byte-order mark", "de-de.lng", b"\xef\xbb\xbf" + GOOD.encode("utf-8"), 1,
     "wrong encoding: UTF-8 with a byte-order mark"),
    ("UTF-16 big-endian", "de-de.lng", ("\ufeff" + GOOD).encode("utf-16-be"), 1,
     "wrong encoding: UTF-16 big-endian"),
    ("unpaired surrogate", "de-de.lng", edit('"Info"', '"In\ud800fo"'), 1,
     "unpaired surrogate at line 13"),
    ("unknown key", "de-de.lng", edit('MenuItemAbout="Info"', 'MenuItemAbout="Info"\n'
     'MenuItemExit="Beenden"'), 1, "error: unknown key MenuItemExit (line 14)"),
    ("key in the wrong case", "de-de.lng", edit("MenuItemStatus=", "menuItemStatus="), 1,
     "keys are case-sensitive: MenuItemStatus"),
    ("over-long value", "de-de.lng", edit('MenuItemAbout="Info"', 'MenuItemAbout="' + "ä" * 200
     + '"'), 1, "MenuItemAbout (line 13): 200 UTF-16 units long; the tray cuts it to 199"),
    ("key inside another entry's value", "de-de.lng",
     edit('BalloonCaption="Velmora"', 'BalloonCaption="Velmora MenuItemAbout="'), 1,
     'MenuItemAbout=" first occurs at line 2 inside another entry'),
    ("repeated key", "de-de.lng", edit('MenuItemAbout="Info"', 'MenuItemAbout="Info"\n'
     'MenuItemAbout="Über"'), 0, "warning: MenuItemAbout (line 14) repeats the key of line 13"),
    ("file name the tray refuses", "de.de.lng", utf16(GOOD), 1,
     "error: the file name must be a language name"),
]


def main():
    checker = sys.argv[1:]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for name, file_name, data, code, expected in CASES:
            path = pathlib.Path(folder) / name.replace(" ", "_").replace("'", "") / file_name
            path.parent.mkdir()
            path.write_bytes(data)
            run = subprocess.run([*checker, str(path)], capture_output=True, text=True)
            if run.returncode != code or expected not in run.stdout:
                failures += 1
                print(f"FAIL {name}: exit {run.returncode} (want {code}), want [{expected}] in:\n"
                      f"{run.stdout}{run.stderr}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
