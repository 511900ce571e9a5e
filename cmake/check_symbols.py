#!/usr/bin/env python3
"""Build check of the shared library and of the two variant compilations.

- A variant object defines no global or weak symbol outside its namespace
  (okv_u8:: or okv_n8::): inline functions and templates shared by both
  compilations would otherwise be merged into one copy built for one variant.
- No variant object holds writable data: the library keeps no mutable
  global state.
- The library needs nothing but memset and the core services.
- Every dispatch table holds the u8 body in entry 0 and the n8 body in entry 1,
  or the u8 body in both where the export is marked so (read from the
  library's relocations, not from the generator's intent).
"""
import argparse
import re
import subprocess
import sys

ALLOWED_UNDEFINED = {"memset", "okvMalloc", "okvFree", "okvGetCpuFeatures", "okvGetEnabledCpuFeatures"}
WRITABLE = (".data", ".bss", ".tbss", ".tdata")


def demangle(names):
    if not names:
        return []
    out = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True, check=True)
    return out.stdout.split("\n")[: len(names)]


def check_objects(objs, ns):
    errors = []
    for obj in objs:
        table = subprocess.run(["objdump", "-t", obj], capture_output=True, text=True, check=True).stdout
        rows = []
        for line in table.splitlines():
            parts = line.split()
            if len(parts) < 5 or len(parts[0]) != 16:
                continue
            flags = line[17:24]
            section = line[25:].split()[0]
            name = parts[-1]
            if section == "*UND*" or "d" in flags[5:7] or "f" in flags[5:7]:
                continue
            rows.append((flags, section, name))
        for (flags, section, name), plain in zip(rows, demangle([r[2] for r in rows])):
            where = "%s: %s [%s]" % (obj.rsplit("/", 1)[-1], plain, section)
            in_ns = re.match(r"_ZN[KVrO]*%d%s" % (len(ns), ns), name)
            if ("g" in flags[:2] or "w" in flags[:2] or "u" in flags[:2]) and not in_ns:
                errors.append("symbol outside %s: %s" % (ns, where))
            if section.startswith(WRITABLE) and not section.startswith(".data.rel.ro"):
                errors.append("writable data: %s" % where)
    return errors


def check_library(lib):
    out = subprocess.run(["nm", "-D", "--undefined-only", lib], capture_output=True, text=True, check=True).stdout
    errors = []
    for line in out.splitlines():
        kind, name = line.split()[-2:]
        name = name.split("@")[0]
        if kind == "U" and name not in ALLOWED_UNDEFINED:
            errors.append("%s calls %s" % (lib.rsplit("/", 1)[-1], name))
    return errors


def check_dispatch(lib, names_inc, u8_both_file):
    names = re.findall(r'X\("(\w+)"\)', open(names_inc).read())
    u8_both = set(open(u8_both_file).read().split())
    syms = subprocess.run(["nm", "-C", lib], capture_output=True, text=True, check=True).stdout
    tables, bodies = {}, {}
    for line in syms.splitlines():
        parts = line.split(None, 2)
        if len(parts) < 3:
            continue
        addr = int(parts[0], 16)
        m = re.match(r"(okv\w+)_arraddr$", parts[2])
        if m:
            tables[m.group(1)] = addr
        m = re.match(r"okv_(u8|n8)::(okv\w+)\(", parts[2])
        if m:
            bodies[(m.group(1), m.group(2))] = addr
    relocs = {}
    for line in subprocess.run(["readelf", "-rW", lib], capture_output=True, text=True, check=True).stdout.splitlines():
        parts = line.split()
        if len(parts) >= 4 and parts[2] == "R_X86_64_RELATIVE":
            relocs[int(parts[0], 16)] = int(parts[3], 16)
    errors = []
    for name in names:
        if name not in tables:
            errors.append("no dispatch table for %s" % name)
            continue
        want = [bodies.get(("u8", name)), bodies.get(("u8" if name in u8_both else "n8", name))]
        got = [relocs.get(tables[name]), relocs.get(tables[name] + 8)]
        if None in want or got != want:
            errors.append("dispatch table of %s does not hold the %s bodies" % (name, "u8/u8" if name in u8_both else "u8/n8"))
    return errors


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lib", required=True)
    ap.add_argument("--u8", nargs="*", default=[])
    ap.add_argument("--n8", nargs="*", default=[])
    ap.add_argument("--names", required=True, help="okvac_export_names.inc")
    ap.add_argument("--u8-both", required=True, help="okvac_u8_both.txt")
    a = ap.parse_args()
    errors = check_objects(a.u8, "okv_u8") + check_objects(a.n8, "okv_n8") + check_library(a.lib) + check_dispatch(a.lib, a.names, a.u8_both)
    for e in errors:
        print("check_symbols: " + e, file=sys.stderr)
    sys.exit(1 if errors else 0)


if __name__ == "__main__":
    main()
