#!/usr/bin/env python3
"""Checks a built Windows DLL from its headers and symbols:

    check_dll.py TRIPLE DLL

- it is PE32 for i686 and PE32+ for x86_64;
- it exports exactly DllCanUnloadNow, DllGetClassObject, DllRegisterServer and
  DllUnregisterServer, at ordinals 1 to 4, and each export is this module's
  own function (its address is the symbol's, not an import stub's);
- it imports system DLLs only (the C and C++ runtimes are linked in).
"""
import re
import subprocess
import sys

EXPORTS = ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"]
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "ole32.dll", "shlwapi.dll", "query.dll", "msvcrt.dll"}


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def main():
    triple, dll = sys.argv[1], sys.argv[2]
    headers = run(triple + "-objdump", "-p", dll)
    problems = []

    magic = re.search(r"^Magic\s+(\w+)", headers, re.M)
    want = "010b" if triple.startswith("i686") else "020b"
    if not magic or magic.group(1) != want:
        problems.append("optional header magic %s, not %s" % (magic and magic.group(1), want))

    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    rvas = [int(rva, 16) for rva in re.findall(r"\+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", headers)]
    names = re.findall(r"^\s+\[\s*(\d+)\] (\w+)$", headers.split("[Ordinal/Name Pointer] Table", 1)[-1], re.M)
    if names != [(str(i), n) for i, n in enumerate(EXPORTS)] or len(rvas) != len(EXPORTS):
        problems.append("exports %s, not exactly %s" % ([n for _, n in names], EXPORTS))
    else:
        # Ordinal base 1: the n-th address is ordinal n + 1.
        symbols = {}
        for line in run(triple + "-nm", dll).splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] == "T":
                symbols[re.sub(r"^_?(\w+?)(@\d+)?$", r"\1", parts[2])] = int(parts[0], 16)
        for name, rva in zip(EXPORTS, rvas):
            if symbols.get(name) != base + rva:
                problems.append("export %s points at 0x%x, not at the module's own %s" % (name, base + rva, name))

    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    if not imports <= SYSTEM_DLLS:
        problems.append("imports DLLs that are not the system's: %s" % sorted(imports - SYSTEM_DLLS))

    for problem in problems:
        print("check_dll: %s: %s" % (dll, problem), file=sys.stderr)
    if not problems:
        print("check_dll: %s: %s, four exports at ordinals 1-4, imports %s" % (
            dll, "PE32" if want == "010b" else "PE32+", ", ".join(sorted(imports))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
