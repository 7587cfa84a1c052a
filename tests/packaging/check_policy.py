#!/usr/bin/env python3
# Holds three things against each other and fails on every disagreement:
# - the registry reads in src/ (value name, hive, subkey, type),
# - the settings list packaging/settings.tsv (which of them are policies, which are read yet),
# - the Group Policy templates packaging/policy/*.admx and every language's .adml.
# Also runs xmllint on the templates and checks that every reference between them resolves.
import pathlib
import re
import subprocess
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parents[2]
NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
READER = r"\b(GetSetting|ReadMachineNumberText|ReadMachineString|ReadUserString)\("
# The name, the out argument, then the kind (GetSetting only) and the subkey if given.
READ = re.compile(READER + r'\s*(L"[^"]*"|\w+)\s*,\s*\w+\s*(?:,\s*SettingKind::k(Number|String))?'
                  r'\s*(?:,\s*(L"[^"]*"|\w+))?\s*\)')
# What a template element stores, as the settings list names it; anything else is no setting.
# A policy's own value without enabled and disabled values is 1 or 0.
STORED = {"decimal": "number", "decimalAsText": "string", "string": "string", "text": "string",
          "policy": "number"}
VALUES = (NS + "enabledValue", NS + "disabledValue", f"{NS}item/{NS}value")
errors = []


def literals(arg, text):  # [a literal's text] or [the text of the file's constant ARG], or None
    if arg.startswith('L"'):
        return [arg[2:-1]]
    found = re.fullmatch(r"\w+", arg) and re.findall(rf'\b{arg}\[\]\s*=\s*L"([^"]*)"', text)
    return found or None


def followed(arg, text, at):  # the values of parameter ARG of the function around AT, by call
    function = [f for f in re.finditer(rf"\b(?!if\b|while\b|for\b)(\w+)\(([^()]*\b{arg}\b[^()]*)\)"
                                       r"\s*(?:const\s*)?\{", text[:at])][-1:]
    if not function:
        return None
    name, params = function[0].groups()
    index = [bool(re.search(rf"\b{arg}\s*(=.*)?$", p)) for p in params.split(",")].index(True)
    calls = [c.group(1).split(",") for c in re.finditer(rf"\b{name}\(([^()]*)\)", text)
             if c.start() != function[0].start()]
    found = [literals(c[index].strip(), text) if len(c) > index else None for c in calls]
    return None if not found or None in found else [n for f in found for n in f]


def source_reads():  # (name, hive, subkey, type) of every read in src/
    reads = set()
    for path in sorted((ROOT / "src").rglob("*.cpp")):
        if path.name == "settings_store.cpp":  # the readers themselves
            continue
        text = re.sub(r"//[^\n]*", "", path.read_text(encoding="utf-8"))
        for call in re.finditer(READER, text):
            m = READ.match(text, call.start())
            reader, arg, kind, subkey = m.groups() if m else (call.group(1), "", "", "")
            # A literal, a constant of the file, or the parameter of the enclosing function,
            # followed to what every call of that function passes in its place.
            names = arg and (literals(arg, text) or followed(arg, text, call.start()))
            subkey = (literals(subkey, text) or [""])[0] if subkey else "-"
            if not names or not subkey or (reader == "GetSetting") != bool(kind):
                line = text.count("\n", 0, call.start()) + 1
                errors.append(f"{path.relative_to(ROOT)}:{line}: cannot tell what {reader} reads")
            kind = (kind or ("Number" if "Number" in reader else "String")).lower()
            reads |= {(name, "user" if "User" in reader else "machine", subkey, kind)
                      for name in names or []}
    return reads


def template_writes(admx, policy_key):  # (name, hive, subkey, type) of each value, the policy
    for policy in admx.iter(NS + "policy"):
        hive = {"Machine": "machine", "User": "user"}.get(policy.get("class"))
        for element in (e for e in policy.iter() if e.get("valueName") is not None):
            # Its enabled and disabled values, an enum's values, or else what the element is.
            kinds = {v.tag for path in VALUES for e in element.findall(path) for v in e} or \
                {element.tag + "AsText" * (element.get("storeAsText") == "true") +
                 "Expandable" * (element.get("expandable") == "true")}
            kinds = "|".join(sorted({STORED.get(k.replace(NS, ""), k) for k in kinds}))
            key = element.get("key", policy.get("key"))
            subkey = "-" if key == policy_key else key.replace(policy_key + "\\", "", 1)
            yield (element.get("valueName"), hive, subkey, kinds), policy.get("name")


def check_settings(rows, reads, writes):
    for (name, *signature), policy in [(read, None) for read in sorted(reads)] + writes:
        row = rows.get(name, [None] * 5)
        if row[:3] != signature or policy and row[4] != "yes":
            errors.append(f"{policy and 'policy ' + policy or 'the code'} uses {name} as "
                          f"{signature}; settings.tsv: {row}")
    read, written = {r[0] for r in reads}, [w[0][0] for w in writes]
    for name, row in rows.items():
        if (row[3] == "yes") != (name in read) or written.count(name) != (row[4] == "yes"):
            errors.append(f"settings.tsv: {name} read={row[3]}, policy={row[4]}; the code reads it: "
                          f"{name in read}; policies writing it: {written.count(name)}")


def check_references(admx, admls):
    def ids(elements, what):  # the set of ids, reporting repeats and characters Intune refuses
        found = [e.get("name") or e.get("id") or "" for e in elements]
        for bad in sorted({i for i in found if found.count(i) > 1 or
                           not re.fullmatch(r"[A-Za-z0-9_]+", i)}):
            errors.append(f"{what} id {bad!r} is defined twice or has other characters")
        return set(found)

    ids(admx.iter(NS + "policy"), "policy")
    for tag, target in (("parentCategory", "category"), ("supportedOn", "definition")):
        for ref in {e.get("ref") for e in admx.iter(NS + tag)} - {None} - \
                ids(admx.iter(NS + target), target):
            errors.append(f"{tag} ref {ref} does not exist")
    strings = set(re.findall(r"\$\(string\.(\w+)\)", ET.tostring(admx, encoding="unicode")))
    elements = {}  # presentation id (None: no presentation): the ids of its policy's elements
    for policy in admx.iter(NS + "policy"):
        mine = ids([e for c in policy.findall(NS + "elements") for e in c], "element")
        shown = re.fullmatch(r"\$\(presentation\.(\w+)\)", policy.get("presentation", ""))
        if mine or shown:
            elements[shown and shown.group(1)] = mine
    for language, adml in admls.items():
        own = ids(adml.iter(NS + "string"), "string")
        ids(adml.iter(NS + "presentation"), "presentation")
        shown = {p.get("id"): {e.get("refId") for e in p} for p in adml.iter(NS + "presentation")}
        if own != strings or shown != elements:
            errors.append(f"{language}: strings missing {sorted(strings - own)}, unused "
                          f"{sorted(own - strings)}; presentations {shown}, elements {elements}")


def main():
    folder = ROOT / "packaging/policy"
    files = sorted(folder.glob("*.admx")) + sorted(folder.glob("*/*.adml"))
    if subprocess.run(["xmllint", "--noout", *map(str, files)]).returncode:
        return 1
    admx = [ET.parse(f).getroot() for f in files if f.suffix == ".admx"]
    admls = {f.parent.name: ET.parse(f).getroot() for f in files if f.suffix == ".adml"}
    assert len(admx) == 1 and "en-US" in admls, f"one .admx and an en-US .adml in {folder}"
    store = (ROOT / "src/settings/settings_store.cpp").read_text()
    policy_key = re.search(r'kPolicyKeyPath\[\]\s*=\s*L"([^"]+)"', store).group(1)
    lines = [line.split("\t") for line in (ROOT / "packaging/settings.tsv").read_text()
             .splitlines() if line.strip() and not line.startswith("#")]
    # name: hive, subkey, type, read (yes, later), policy (yes, or why not)
    rows = {cells[0]: cells[1:] for cells in lines if len(cells) == 6}
    for cells in lines:
        # A row's hive and type are held against the code's read of it.
        if len(cells) != 6 or cells[4] not in ("yes", "later") or \
                [c[0] for c in lines].count(cells[0]) > 1:
            errors.append(f"settings.tsv: malformed or repeated row {cells}")
    writes = list(template_writes(admx[0], policy_key.replace("\\\\", "\\")))
    check_settings(rows, source_reads(), writes)
    check_references(admx[0], admls)
    for message in errors:
        print("check_policy:", message)
    print(f"check_policy: {len(rows)} settings, {len(admls)} languages, {len(errors)} problems")
    return 1 if errors else 0


raise SystemExit(main())
