#!/usr/bin/env python3
"""Compares the smoke host's walks under Wine with the Linux build's walk of
the same archive (arcwise-dump --json).

    compare_walk.py LINUX_DUMP.jsonl WINE_WALK.jsonl

Each route of the Wine walk (file, stream) must give the Linux chunks, field
for field, with two allowances: chunk ids are left out (the host checks they
run 1, 2, 3 ... itself), and within a run of value chunks the order may
differ, because the emitter relays the properties in the order the system's
property storage enumerates them, and Wine's order is not libgsf's. Exit code
1 with a diff on any difference.
"""
import difflib
import json
import sys

SUMMARY_INFORMATION = "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"


def normalised(records):
    out, run = [], []
    for record in records:
        record = {k: v for k, v in record.items() if k not in ("file", "route", "id", "idChunkSource")}
        record["attribute"] = {k: v for k, v in record["attribute"].items() if k != "label"}
        if record["flags"] == "VALUE":
            run.append(record)
            continue
        out += sorted(run, key=lambda r: (r["attribute"]["fmtid"], r["attribute"].get("propid", 0)))
        run = []
        out.append(record)
    out += sorted(run, key=lambda r: (r["attribute"]["fmtid"], r["attribute"].get("propid", 0)))
    return [json.dumps(r, sort_keys=True) for r in out]


def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def main():
    linux = read_lines(sys.argv[1])
    wine = read_lines(sys.argv[2])
    expected = normalised(linux)
    # The Linux walk itself must show what the smoke test is about, or
    # agreeing with it would prove nothing.
    problems = []
    if not any(r["flags"] == "VALUE" and r["attribute"]["fmtid"] == SUMMARY_INFORMATION for r in linux):
        problems.append("the Linux walk has no summary-information value")
    if not any("swordfish" in r.get("text", "") for r in linux):
        problems.append("the Linux walk has no text of the nested archive")
    if not linux or linux[-1].get("text") != "nested\\inner.zip":
        problems.append("the Linux walk does not end with the entry names")
    for route in ("file", "stream"):
        got = normalised([r for r in wine if r.get("route") == route])
        if got != expected:
            problems.append("the %s route differs from the Linux walk:\n%s" % (
                route, "\n".join(difflib.unified_diff(expected, got, "linux", "wine-" + route, lineterm=""))))
        else:
            print("compare_walk: %s route: %d chunks, as on Linux" % (route, len(got)))
    for problem in problems:
        print("compare_walk: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
