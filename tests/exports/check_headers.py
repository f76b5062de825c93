#!/usr/bin/python3
"""Holds the public headers against exports/kwilllib.def.

Every export of the .def must be declared once, in the header of its family, with its ordinal
and the right macro (KWILL_API, KWILL_API_NONAME for ordinal-only exports, KWILL_MEMBER for
members of the exported classes); every declaration in the headers must be exported. Clang
reads the headers as a Microsoft-ABI C++ compiler would, so class members are compared under
their decorated names.

usage: check_headers.py DEF INCLUDE_DIR
"""
import os
import re
import subprocess
import sys

# The words before the colon of a .def heading name the family; its header is
# include/kwilllib/<header>.
FAMILY_HEADERS = {
    "library frame": "frame.h",
    "text": "text.h",
    "strings": "strings.h",
    "codec": "codec.h",
    "zip engine": "zip.h",
    "shell namespace": "shellns.h",
    "host link": "hostlink.h",
    "shell extensions": "shellext.h",
    "utilities": "util.h",
}

# Exports that Windows' own headers already declare with their standard signatures (a second
# declaration with dllimport would clash with them), so the family header only names them in a
# comment.
DECLARED_BY_WINDOWS = {
    "DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer",
    "DllInstall", "DllGetVersion",
}

MSVC_FLAGS = ["--target=x86_64-pc-windows-msvc", "-fgnuc-version=12", "-fno-ms-extensions",
              "-fdeclspec", "-idirafter", "/usr/x86_64-w64-mingw32/include"]

MACRO = re.compile(r"KWILL_(API_NONAME|API|MEMBER)\s*\(\s*(\d+)\s*\)")


class DefEntry:
    def __init__(self, name, ordinal, noname, heading, line):
        self.name, self.ordinal, self.noname = name, ordinal, noname
        self.heading, self.line = heading, line

    def header(self):
        family = self.heading.split(":", 1)[0].strip() if self.heading else ""
        return FAMILY_HEADERS.get(family)

    def macro(self):
        if self.name.startswith("?"):
            return "KWILL_MEMBER(%d)" % self.ordinal
        return ("KWILL_API_NONAME(%d)" if self.noname else "KWILL_API(%d)") % self.ordinal


def read_def(path):
    entries, heading = [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            m = re.match(r"\s*;\s*----\s*(.*?)\s*$", raw)
            if m:
                heading = m.group(1)
                continue
            words = raw.split(";", 1)[0].split()
            if len(words) >= 2 and re.fullmatch(r"@\d+", words[1]):
                entries.append(DefEntry(words[0], int(words[1][1:]), "NONAME" in words[2:],
                                        heading, number))
    return entries


class Declaration:
    def __init__(self, name, path, offset, line):
        self.name, self.path, self.offset, self.line = name, path, offset, line


def header_declarations(include_dir):
    """Every function declared (not defined) in the public headers, under the name a
    Microsoft-ABI compiler links it by, with the offset where its declaration starts."""
    import clang.cindex as ci

    folder = os.path.realpath(os.path.join(include_dir, "kwilllib")) + os.sep
    # libclang does not find the compiler's own headers by itself.
    resource = subprocess.run(["clang", "-print-resource-dir"], capture_output=True,
                              text=True).stdout.strip()
    index = ci.Index.create()
    tu = index.parse("check.cpp", args=[*MSVC_FLAGS, "-resource-dir", resource, "-I", include_dir, "-x", "c++",
                                        "-std=c++17"],
                     unsaved_files=[("check.cpp", '#include "kwilllib.h"\n')])
    errors = [d for d in tu.diagnostics if d.severity >= ci.Diagnostic.Error]
    if errors:
        sys.exit("FAIL: clang could not read the headers as a Microsoft-ABI compiler:\n"
                 + "\n".join(str(d) for d in errors))
    kinds = {ci.CursorKind.FUNCTION_DECL, ci.CursorKind.CXX_METHOD, ci.CursorKind.CONSTRUCTOR,
             ci.CursorKind.DESTRUCTOR, ci.CursorKind.CONVERSION_FUNCTION}
    found = []

    def walk(cursor):
        for child in cursor.get_children():
            start = child.extent.start
            if not start.file or not os.path.realpath(start.file.name).startswith(folder):
                continue
            if child.kind in kinds:
                if child.is_definition() or child.is_default_method():
                    continue
                found.append(Declaration(child.mangled_name or child.spelling,
                                         os.path.realpath(start.file.name), start.offset,
                                         start.line))
            else:
                walk(child)

    walk(tu.cursor)
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    def_path, include_dir = sys.argv[1], sys.argv[2]
    entries = read_def(def_path)
    declarations = header_declarations(include_dir)
    problems = []
    def_name = os.path.basename(def_path)

    def where(entry):
        return '%s line %d (@%d, under "; ---- %s")' % (def_name, entry.line, entry.ordinal,
                                                       entry.heading)

    exported = {}
    unknown = set()
    for e in entries:
        if e.header() is None and e.heading not in unknown:
            unknown.add(e.heading)
            problems.append('%s: the heading "; ---- %s" names no family of public headers; '
                            'the words before its colon must be one of: %s (or add the new '
                            'family to FAMILY_HEADERS in tests/exports/check_headers.py, with '
                            'its header include/kwilllib/<family>.h included by kwilllib.h)'
                            % (where(e), e.heading, ", ".join(FAMILY_HEADERS)))
        exported[e.name] = e

    declared = {}
    texts = {}
    for d in declarations:
        rel = os.path.relpath(d.path, os.path.dirname(os.path.abspath(include_dir)))
        if d.name in declared:
            problems.append("%s is declared twice: %s:%d and %s:%d"
                            % (d.name, rel, d.line, declared[d.name][0], declared[d.name][1]))
            continue
        declared[d.name] = (rel, d.line)
        if d.path not in texts:
            with open(d.path, "rb") as f:
                texts[d.path] = f.read().decode("utf-8")
        m = MACRO.match(texts[d.path], d.offset)
        e = exported.get(d.name)
        if e is None:
            family = [k for k, v in FAMILY_HEADERS.items() if v == os.path.basename(d.path)]
            line = "%s @%s%s" % (d.name, m.group(2) if m else "<ordinal>",
                                 " NONAME" if m and m.group(1) == "API_NONAME" else "")
            problems.append("%s:%d declares %s, which %s does not export: add \"%s\" to %s "
                            "under a \"; ---- %s: ...\" heading, or remove the declaration"
                            % (rel, d.line, d.name, def_name, line, def_name,
                               family[0] if family else "<family>"))
            continue
        want_header = e.header()
        if want_header and os.path.basename(d.path) != want_header:
            problems.append("%s is declared in %s:%d but exported under \"; ---- %s\": move the "
                            "declaration to include/kwilllib/%s" % (d.name, rel, d.line,
                                                                     e.heading, want_header))
        if not m:
            problems.append("%s:%d: the declaration of %s must start with %s"
                            % (rel, d.line, d.name, e.macro()))
        elif m.group(0).replace(" ", "") != e.macro():
            problems.append("%s:%d declares %s with %s, but %s makes it %s"
                            % (rel, d.line, d.name, m.group(0), where(e), e.macro()))

    for e in entries:
        if e.name in declared or e.name in DECLARED_BY_WINDOWS:
            continue
        header = e.header() or "<family>.h"
        if e.name.startswith("?"):
            hint = ("declare the member in its class in include/kwilllib/%s with %s (clang "
                    "gives it this decorated name)" % (header, e.macro()))
        else:
            hint = ("declare it in include/kwilllib/%s as %s <return type> KWILLCALL %s(...);"
                    % (header, e.macro(), e.name))
        problems.append("%s exports %s, but no public header declares it: %s"
                        % (where(e), e.name, hint))

    for p in problems:
        print("FAIL: " + p)
    if problems:
        print("0 passed, 1 failed: %d disagreements between %s and the public headers"
              % (len(problems), def_name))
        return 1
    print("1 passed, 0 failed: %d exports of %s declared in the public headers"
          % (len(entries), def_name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
