#!/usr/bin/env python3
"""Compares what registration wrote under Wine with what it writes on Linux.

    compare_registry.py LINUX.reg WINE.reg            the same rows are there
    compare_registry.py --absent LINUX.reg WINE.reg   none of them is left

LINUX.reg is arcwise-reg's export of HKLM\\SOFTWARE\\Classes after the three
modules registered; WINE.reg is Wine's reg.exe export of the same key. Keys
are compared without regard to case and to the HKCR/HKLM\\SOFTWARE\\Classes
spelling; a module path (InprocServer32's default value) is compared by module
name, since libarcwise.so and C:\\...\\arcwise.dll are the same module.
"""
import re
import sys

PREFIXES = ("hkey_local_machine\\software\\classes\\", "hkey_classes_root\\")


def read_reg(path):
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8-sig")
    keys, key, pending = {}, None, ""
    for line in text.replace("\r", "").split("\n"):
        if pending:
            line, pending = pending + line.strip(), ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            key = normalise_key(line[1:-1])
            keys.setdefault(key, {})
        elif key is not None and "=" in line:
            match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if match:
                name = "@" if match.group(1) == "@" else unescape(match.group(1)[1:-1]).lower()
                keys[key][name] = match.group(2)
    return keys


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def normalise_key(key):
    key = key.lower()
    for prefix in PREFIXES:
        if key.startswith(prefix):
            return key[len(prefix):]
    return key


def module_name(data):
    path = unescape(data.strip('"'))
    name = re.split(r"[\\/]", path)[-1].lower()
    name = re.sub(r"\.(dll|so)$", "", name)
    return name[3:] if name.startswith("lib") else name


def comparable(key, values):
    if key.endswith("\\inprocserver32") and "@" in values:
        values = dict(values, **{"@": module_name(values["@"])})
    return values


def main():
    args = sys.argv[1:]
    absent = args[:1] == ["--absent"]
    if absent:
        args = args[1:]
    linux, wine = read_reg(args[0]), read_reg(args[1])
    rows = {k: v for k, v in linux.items() if v}
    problems = []
    if not rows:
        problems.append("the Linux export has no rows")
    for key, values in sorted(rows.items()):
        if absent:
            if key in wine and wine[key]:
                problems.append("left after unregistration: %s %s" % (key, wine[key]))
        elif key not in wine:
            problems.append("missing under Wine: %s" % key)
        elif comparable(key, wine[key]) != comparable(key, values):
            problems.append("differs under Wine: %s\n  linux: %s\n  wine:  %s" % (
                key, comparable(key, values), comparable(key, wine[key])))
    if not absent:
        # Nothing more under the classes registration made than on Linux.
        roots = [k for k in rows if re.fullmatch(r"clsid\\\{[0-9a-f-]+\}", k)]
        for key in sorted(wine):
            if any(key.startswith(root + "\\") for root in roots) and key not in linux:
                problems.append("only under Wine: %s" % key)
    for problem in problems:
        print("compare_registry: " + problem, file=sys.stderr)
    if not problems:
        print("compare_registry: %d rows %s" % (len(rows), "gone" if absent else "as on Linux"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
