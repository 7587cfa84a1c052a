#!/usr/bin/env python3
"""Fault seeding for the host unit tests.

Each fault below is applied alone to a scratch copy of the tree (build/seed-faults/tree); the
unit tests are built there (Debug, no sanitizers, -j2) and run. A fault that the tests do not
catch is reported as SURVIVED. The worktree itself is never changed.

A fault names the file it lives in by its base name only and finds its line by exact text, so
it keeps working when files move between folders; the text must occur exactly once.

Usage: scripts/seed_faults.py [OUT [FILE...]]   (default build/seed-faults.txt; with FILEs, only
the faults that live in those base names, e.g. log.cpp pin.cpp)
"""
import os
import pathlib
import shutil
import subprocess
import sys

FAULTS = [
    ("signal-unwritten", "request_flow.cpp", "a request that could not be written is signalled",
     "  if (!written || !SignalAddToAdmin(kind)) SignalShellHookSettled();",
     "  if (!SignalAddToAdmin(kind)) SignalShellHookSettled();"),
    ("reset-late", "service_events.cpp", "the service events are reset by the thread, after the request",
     "  for (Handle event : events) Kern().ResetEvent(event);\n  Kern().StartDetachedThread([] { RunServiceEvents(nullptr); });",
     "  Kern().StartDetachedThread([events] { for (Handle e : events) Kern().ResetEvent(e); RunServiceEvents(nullptr); });"),
    ("rotate-bound", "log.cpp", "a log of exactly the limit is rotated",
     "if (Fs().SizeOf(path) <= kRotateAboveBytes) return;",
     "if (Fs().SizeOf(path) < kRotateAboveBytes) return;"),
    ("backup-case", "log.cpp", "the backup path keeps the log's letter case",
     "    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');",
     "    if (false) c = static_cast<wchar_t>(c - L'A' + L'a');"),
    ("timer-now", "timer_end.cpp", "an end equal to now still counts as active",
     "  if (end > now) return true;",
     "  if (end >= now) return true;"),
    ("reset-events", "service_events.cpp", "the service's signals from before the start are kept",
     "for (Handle event : events) Kern().ResetEvent(event);",
     ""),
    ("resuscitate-default", "session_end.cpp", "a missing Resuscitate means mode 1",
     'if (!ReadMachineNumberText(L"Resuscitate", mode) || mode.empty()) mode = L"0";',
     'if (!ReadMachineNumberText(L"Resuscitate", mode) || mode.empty()) mode = L"1";'),
    ("name-length", "localized_texts.cpp", "an 85-character language name is refused",
     "name.size() > kMaxLanguageNameLength",
     "name.size() >= kMaxLanguageNameLength"),
    ("device-case", "localized_texts.cpp", "device names are matched case-sensitively",
     "    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');\n  }\n  if (base",
     "    if (false) c = static_cast<wchar_t>(c - L'A' + L'a');\n  }\n  if (base"),
    ("record-offset", "channel_records.h", "the resuscitate byte lands one byte late",
     "record[kSettingsResuscitateOffset] = static_cast<uint8_t>(resuscitate);",
     "record[kSettingsResuscitateOffset + 1] = static_cast<uint8_t>(resuscitate);"),
    ("pair-cut", "channel_records.h", "a text field may end in half a surrogate pair",
     "if (IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep])) --keep;",
     ""),
    ("key-order", "settings_store.cpp", "the product key outranks the policy key",
     "for (const wchar_t* base : {kPolicyKeyPath, kProductKeyPath})",
     "for (const wchar_t* base : {kProductKeyPath, kPolicyKeyPath})"),
    ("period-default", "request_flow.cpp", "a missing AccessPeriod asks for 60 seconds",
     "constexpr uint32_t kDefaultAccessPeriod = 120;",
     "constexpr uint32_t kDefaultAccessPeriod = 60;"),
    ("log-line", "managed_settings.cpp", "the cached-document line is dropped",
     'if (log) Log("Cached json read successfully");',
     ""),
    ("balloon-cut", "main_dlg.cpp", "the balloon text is not cut to its field",
     "data.info = CutToUtf16Units(BalloonText(kind, seconds), nim::kInfoUnits);",
     "data.info = BalloonText(kind, seconds);"),
    ("countdown-bound", "main_dlg.cpp", "the countdown starts at 998 seconds",
     "if (seconds < 1 || seconds > kCountdownMaxSeconds) return;",
     "if (seconds < 1 || seconds >= kCountdownMaxSeconds) return;"),
    ("group-query", "main_dlg.cpp", "a plain right click asks for the Administrators group",
     "const bool admin = control && IsCurrentUserAdmin();",
     "const bool admin = IsCurrentUserAdmin() && control;"),
    ("font-step", "countdown.cpp", "99 seconds are drawn in the two-digit font",
     "if (seconds < 99) return 16;",
     "if (seconds <= 99) return 16;"),
    ("idle-paint", "message_loop.cpp", "WM_PAINT re-arms idle processing",
     "    case msg::kPaint:\n",
     ""),
    ("name-buffer", "identity.cpp", "a 300-character logon name is read",
     "name.size() >= kNameBufferChars) return std::wstring();",
     "name.size() > kNameBufferChars) return std::wstring();"),
    ("service-end", "service_logic.cpp", "the elevation outlives its end by one tick",
     "running_->endMs <= now", "running_->endMs < now"),
    ("period-digits", "service_records.cpp", "an 8-digit access period is accepted",
     "period.size() > 7", "period.size() > 8"),
    # settings, log, text, service
    ("deny-one", "service_logic.cpp", "only Deny 1 denies; Deny 2 lets requests through",
     "return *deny != 0;", "return *deny == 1;"),
    ("unread-admin", "service_logic.cpp", "settings are stored while a user's groups are unknown",
     "if (admin != true) {", "if (admin == false) {"),
    ("name-del", "service_records.cpp", "a user name holding DEL reaches the group functions",
     "if (unit < 0x20 || unit == 0x7F) return true;", "if (unit < 0x20) return true;"),
    ("log-del", "log_text.cpp", "DEL from the block reaches the log unescaped",
     "(cp >= 0x7F && cp <= 0x9F)", "(cp > 0x7F && cp <= 0x9F)"),
    ("sz-nul", "settings_store.cpp", "a user string is stored without its terminating NUL",
     "ToUtf16LeBytes(value, true);", "ToUtf16LeBytes(value, false);"),
    ("percent-cut", "language_file.cpp", "a cut keeps a percent sign that no longer fits",
     "if (units + 2 > maxUnits) break;\n      out += L\"%%\";",
     "if (units + 1 > maxUnits) break;\n      out += L\"%%\";"),
    # app, elevation, dialogs
    ("pin-list-bound", "pin.cpp", "a used-PIN list of exactly the limit counts as tampered with",
     "list.size() > kMaxUsedPinListChars", "list.size() >= kMaxUsedPinListChars"),
    ("hook-end-owner", "shell_hook.cpp", "the library's end signal ends a manual elevation",
     "if (Load(g_bShellHookElevation) != 0) {", "if (Load(g_bShellHookElevation) == 0) {"),
    ("login-over-timed", "request_flow.cpp", "the at-login request goes out over a timed elevation",
     "if (IsElevationActive()) return;", ""),
    ("period-nul", "channel_records.h", "a 20-byte access period is stored without its NUL",
     "if (period.size() >= kSettingsAccessPeriodSize) period = kAccessPeriodFallback;",
     "if (period.size() > kSettingsAccessPeriodSize) period = kAccessPeriodFallback;"),
    ("lock-resuscitate", "settings_dlg.cpp", "UserConfig 1 leaves Resuscitate editable",
     'const bool lockResuscitate = lockAtLogin || m_strUserConfig == L"2";',
     'const bool lockResuscitate = m_strUserConfig == L"2";'),
]

ROOT = pathlib.Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "seed-faults"
TREE = WORK / "tree"
BUILD = WORK / "build"


def sh(*args, **kw):
    return subprocess.run(args, check=True, **kw)


def copy_tree():
    if TREE.exists():
        shutil.rmtree(TREE)
    # Fresh time stamps: an object built from a fault of an earlier run must not look current.
    shutil.copytree(ROOT, TREE, ignore=shutil.ignore_patterns("build", ".git"),
                    copy_function=shutil.copy)


def build_and_test():
    """'passed', 'failed' or 'build failed'."""
    with open(WORK / "build.log", "w") as log:
        if subprocess.run(["cmake", "--build", str(BUILD), "-j2", "--target", "velmora_unit_tests"],
                          stdout=log, stderr=subprocess.STDOUT).returncode != 0:
            return "build failed"
    with open(WORK / "test.log", "w") as log:
        try:
            code = subprocess.run([str(BUILD / "tests" / "velmora_unit_tests"), "--gtest_brief=1"],
                                  cwd=BUILD, stdout=log, stderr=subprocess.STDOUT,
                                  timeout=600).returncode
        except subprocess.TimeoutExpired:
            return "failed"
    return "passed" if code == 0 else "failed"


def locate(base, old):
    hits = []
    for top in ("src", "service"):
        for path in sorted((TREE / top).rglob(base)):
            count = path.read_text().count(old)
            if count:
                hits.append((path, count))
    if len(hits) != 1 or hits[0][1] != 1:
        raise SystemExit(f"fault text must occur exactly once in {base}: {old!r} -> {hits}")
    return hits[0][0]


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "seed-faults.txt"
    WORK.mkdir(parents=True, exist_ok=True)
    copy_tree()
    sh("cmake", "-S", str(TREE), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
       "-DVELMORA_SANITIZE=OFF", "-DVELMORA_BUILD_TESTS=ON", stdout=subprocess.DEVNULL)
    if build_and_test() != "passed":
        raise SystemExit(f"the unmodified tree does not pass: see {WORK}/build.log, test.log")
    only = set(sys.argv[2:])
    faults = [f for f in FAULTS if not only or f[1] in only]
    lines = []
    caught = 0
    for name, base, what, old, new in faults:
        path = locate(base, old)
        text = path.read_text()
        line = text[: text.index(old)].count("\n") + 1
        path.write_text(text.replace(old, new, 1))
        try:
            result = build_and_test()
        finally:
            path.write_text(text)
        verdict = {"failed": "caught", "passed": "SURVIVED"}.get(result, result.upper())
        caught += verdict == "caught"
        entry = f"{name:20} {verdict:9} {path.relative_to(TREE)}:{line}  {what}"
        print(entry, flush=True)
        lines.append(entry)
    lines.append(f"{caught} of {len(faults)} faults caught")
    print(lines[-1])
    out.write_text("\n".join(lines) + "\n")
    return 0 if caught == len(faults) else 1


if __name__ == "__main__":
    sys.exit(main())
