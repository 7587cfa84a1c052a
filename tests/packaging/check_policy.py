#!/usr/bin/env python3
"""Holds three things against each other and fails on every disagreement:
- the registry reads in src/ (value name, hive, subkey, type),
- the settings list packaging/settings.tsv,
- the Group Policy templates packaging/policy/*.admx and every language's .adml.
Also runs xmllint on the templates and checks that every reference between them resolves."""
import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parents[2]
NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
READERS = {  # reader: (hive, type from the reader or None: from the SettingKind argument)
    "GetSetting": ("machine", None),
    "ReadMachineNumberText": ("machine", "number"),
    "ReadMachineString": ("machine", "string"),
    "ReadUserString": ("user", "string"),
}
REG_TYPE = {"number": "REG_DWORD", "string": "REG_SZ"}
ID_RE = re.compile(r"[A-Za-z0-9_]+")  # what Intune accepts
errors = []


def fail(message):
    errors.append(message)


def split_args(text, start):
    """Top-level arguments of the call whose '(' is at text[start - 1]."""
    depth, args, current, i = 0, [], "", start
    while i < len(text):
        c = text[i]
        if c == '"':
            end = text.index('"', i + 1)
            current += text[i:end + 1]
            i = end + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                args.append(current.strip())
                return args
            depth -= 1
        elif c == "," and depth == 0:
            args.append(current.strip())
            current = ""
            i += 1
            continue
        current += c
        i += 1
    return args


def literal_of(arg, text):
    """The text of a literal argument or of a constant of the file it names, else None."""
    literal = re.fullmatch(r'L"([^"]*)"', arg)
    if literal:
        return literal.group(1)
    constant = re.fullmatch(r"\w+", arg) and \
        re.search(rf"\b{arg}(?:\[\])?\s*=\s*L\"([^\"]*)\"", text)
    return constant.group(1) if constant else None


def names_of(arg, text, at):
    """Value names a name argument can hold: a literal, a constant of the file, or a parameter
    of the enclosing function, followed to the literals every call passes in its place."""
    name = literal_of(arg, text)
    if name is not None:
        return [name]
    if not re.fullmatch(r"\w+", arg):
        return None
    functions = list(re.finditer(
        r"\b(?!(?:if|for|while|switch|catch)\b)(\w+)\s*\(([^()]*)\)\s*(?:const\s*)?\{",
        text[:at]))
    if not functions:
        return None
    function = functions[-1]
    params = [p.split("=")[0] for p in function.group(2).split(",")]
    index = next((i for i, p in enumerate(params) if re.search(rf"\b{arg}\s*$", p)), None)
    if index is None:
        return None
    names = []
    for call in re.finditer(rf"\b{function.group(1)}\s*\(", text):
        if call.start() == function.start(1):
            continue  # the definition itself
        args = split_args(text, call.end())
        name = literal_of(args[index], text) if index < len(args) else None
        if name is None:
            return None
        names.append(name)
    return names or None


def source_reads():
    reads = set()
    call = re.compile(r"\b(" + "|".join(READERS) + r")\s*\(")
    for path in sorted((ROOT / "src").rglob("*.cpp")):
        if path.name == "settings_store.cpp":  # the readers themselves
            continue
        text = re.sub(r"//[^\n]*", "", path.read_text(encoding="utf-8"))
        for m in call.finditer(text):
            args = split_args(text, m.end())
            where = f"{path.relative_to(ROOT)}:{text.count(chr(10), 0, m.start()) + 1}"
            hive, kind = READERS[m.group(1)]
            if m.group(1) == "GetSetting":
                if len(args) < 3 or not re.search(r"SettingKind::k(Number|String)", args[2]):
                    fail(f"{where}: cannot tell the kind of this GetSetting")
                    continue
                kind = "number" if "kNumber" in args[2] else "string"
                subkey_arg = args[3] if len(args) > 3 else None
            else:
                subkey_arg = args[2] if len(args) > 2 and hive == "machine" else None
            subkey = "-"
            if subkey_arg:
                subkey = literal_of(subkey_arg, text)
                if subkey is None:
                    fail(f"{where}: cannot tell the subkey of this read")
                    continue
            names = names_of(args[0] if args else "", text, m.start())
            if not names:
                fail(f"{where}: cannot tell which value {m.group(1)} reads here")
                continue
            reads.update((name, hive, subkey, kind) for name in names)
    return reads


def settings_list():
    rows = {}
    for number, line in enumerate((ROOT / "packaging/settings.tsv").read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        cells = line.split("\t")
        if len(cells) != 6 or cells[1] not in ("machine", "user") or \
                cells[3] not in REG_TYPE or cells[4] not in ("yes", "later"):
            fail(f"settings.tsv:{number}: malformed row {cells}")
            continue
        if cells[0] in rows:
            fail(f"settings.tsv:{number}: {cells[0]} listed twice")
        rows[cells[0]] = dict(hive=cells[1], subkey=cells[2], type=cells[3], read=cells[4],
                              policy=cells[5] == "yes")
    return rows


def check_list_against_source(rows, reads):
    for name, hive, subkey, kind in sorted(reads):
        row = rows.get(name)
        if row is None:
            fail(f"the code reads {name} but settings.tsv does not list it")
        elif (row["hive"], row["subkey"], row["type"]) != (hive, subkey, kind):
            fail(f"{name}: the code reads {hive}/{subkey}/{kind}, settings.tsv says "
                 f"{row['hive']}/{row['subkey']}/{row['type']}")
    read_names = {r[0] for r in reads}
    for name, row in rows.items():
        if row["read"] == "yes" and name not in read_names:
            fail(f"settings.tsv says the code reads {name}, but no read was found")
        if row["read"] == "later" and name in read_names:
            fail(f"the code reads {name} now: mark it read=yes in settings.tsv")


def policy_values(policy):
    """(value name, key, registry type) of every value a policy writes."""
    key = policy.get("key")
    values = []
    if policy.get("valueName"):
        kinds = {child[0].tag for tag in ("enabledValue", "disabledValue")
                 for child in policy.findall(NS + tag) if len(child)}
        kind = {NS + "decimal": "REG_DWORD", NS + "string": "REG_SZ"}
        types = {kind.get(k, k) for k in kinds} or {"REG_DWORD"}
        if len(types) != 1:
            fail(f"policy {policy.get('name')}: enabled and disabled values differ in type")
        values.append((policy.get("valueName"), key, types.pop()))
    for element in policy.iter():
        if element.get("valueName") is None or element is policy:
            continue
        tag = element.tag.replace(NS, "")
        if tag == "decimal":
            reg = "REG_SZ" if element.get("storeAsText") == "true" else "REG_DWORD"
        elif tag == "text":
            reg = "REG_EXPAND_SZ" if element.get("expandable") == "true" else "REG_SZ"
        elif tag == "enum":
            kinds = {v[0].tag.replace(NS, "") for v in element.iter(NS + "value")}
            reg = {"decimal": "REG_DWORD", "string": "REG_SZ"}.get(kinds.pop(), "?") \
                if len(kinds) == 1 else "mixed"
        else:
            reg = tag
        values.append((element.get("valueName"), element.get("key", key), reg))
    return values


def check_admx_against_list(admx, rows, policy_key):
    seen = {}
    for policy in admx.iter(NS + "policy"):
        hive = {"Machine": "machine", "User": "user"}.get(policy.get("class"))
        if hive is None:
            fail(f"policy {policy.get('name')}: class must be Machine or User")
        for name, key, reg in policy_values(policy):
            row = rows.get(name)
            if name in seen:
                fail(f"{name} is written by two policies: {seen[name]}, {policy.get('name')}")
            seen[name] = policy.get("name")
            if row is None or not row["policy"]:
                fail(f"policy {policy.get('name')} writes {name}, which settings.tsv does not "
                     "offer as a policy")
                continue
            want_key = policy_key + ("" if row["subkey"] == "-" else "\\" + row["subkey"])
            if (hive, key, reg) != (row["hive"], want_key, REG_TYPE[row["type"]]):
                fail(f"policy {policy.get('name')} writes {name} as {hive} {key} {reg}; "
                     f"settings.tsv says {row['hive']} {want_key} {REG_TYPE[row['type']]}")
    for name, row in rows.items():
        if row["policy"] and name not in seen:
            fail(f"settings.tsv offers {name} as a policy, but no policy writes it")


def check_references(admx, admls):
    def ids(tree, tag, attribute):
        found = [e.get(attribute) for e in tree.iter(NS + tag)]
        for duplicate in {i for i in found if found.count(i) > 1}:
            fail(f"{tag} id {duplicate} is defined twice")
        for bad in (i for i in found if not ID_RE.fullmatch(i or "")):
            fail(f"{tag} id {bad!r} has characters other than letters, digits and _")
        return set(found)

    categories = ids(admx, "category", "name")
    supported = ids(admx, "definition", "name")
    ids(admx, "policy", "name")
    for tag, known in (("parentCategory", categories), ("supportedOn", supported)):
        for e in admx.iter(NS + tag):
            if e.get("ref") is not None and e.get("ref") not in known:
                fail(f"{tag} ref {e.get('ref')} does not exist")
    text = ET.tostring(admx, encoding="unicode")
    strings = set(re.findall(r"\$\(string\.(\w+)\)", text))
    presentations = set(re.findall(r"\$\(presentation\.(\w+)\)", text))
    element_ids = {}
    for policy in admx.iter(NS + "policy"):
        for container in policy.findall(NS + "elements"):
            mine = {e.get("id") for e in container}
            for i in mine:
                if not ID_RE.fullmatch(i or ""):
                    fail(f"element id {i!r} has characters other than letters, digits and _")
            match = re.fullmatch(r"\$\(presentation\.(\w+)\)", policy.get("presentation", ""))
            if match:
                element_ids[match.group(1)] = mine
            elif mine:
                fail(f"policy {policy.get('name')} has elements but no presentation")
    for language, adml in admls.items():
        defined = ids(adml, "string", "id")
        for missing in sorted(strings - defined):
            fail(f"{language}: string {missing} is missing")
        for unused in sorted(defined - strings):
            fail(f"{language}: string {unused} is not used by the ADMX")
        shown = {p.get("id"): {e.get("refId") for e in p} for p in adml.iter(NS + "presentation")}
        ids(adml, "presentation", "id")
        for name in sorted(presentations - shown.keys()):
            fail(f"{language}: presentation {name} is missing")
        for name, refs in shown.items():
            if refs != element_ids.get(name, set()):
                fail(f"{language}: presentation {name} shows {sorted(refs)}, the policy has "
                     f"{sorted(element_ids.get(name, set()))}")


def main():
    folder = ROOT / "packaging/policy"
    files = sorted(folder.glob("*.admx")) + sorted(folder.glob("*/*.adml"))
    lint = subprocess.run(["xmllint", "--noout", *map(str, files)], capture_output=True,
                          text=True)
    if lint.returncode:
        print(lint.stderr, end="")
        return 1
    admx_files = [f for f in files if f.suffix == ".admx"]
    if len(admx_files) != 1:
        fail(f"expected one .admx in {folder}, found {len(admx_files)}")
        admx_files = admx_files[:1]
    admx = ET.parse(admx_files[0]).getroot()
    admls = {f.parent.name: ET.parse(f).getroot() for f in files if f.suffix == ".adml"}
    if "en-US" not in admls:
        fail("no en-US language file")
    store = (ROOT / "src/settings/settings_store.cpp").read_text()
    policy_key = re.search(r'kPolicyKeyPath\[\]\s*=\s*L"([^"]+)"', store).group(1)
    policy_key = policy_key.replace("\\\\", "\\")

    rows = settings_list()
    check_list_against_source(rows, source_reads())
    check_admx_against_list(admx, rows, policy_key)
    check_references(admx, admls)
    for message in errors:
        print("check_policy:", message)
    print(f"check_policy: {len(rows)} settings, {len(list(admx.iter(NS + 'policy')))} policies, "
          f"{len(admls)} languages, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
