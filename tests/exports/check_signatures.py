#!/usr/bin/python3
"""Holds each flat function of the public headers against its definition in exports/*.cpp.

The header and the definition name different types (opaque handles in the header, the
library's own classes in the definition), so they are compared as the x64 calling convention
sees them: the result and each parameter as an integer or floating-point value of its size, or
a pointer (with what it points to compared the same way down to a record), and whether the
function takes variable arguments. A mismatch means a caller built from the header passes
arguments the library does not read.

usage: check_signatures.py SOURCE_ROOT INCLUDE_DIR [THIRD_PARTY_INCLUDE_DIR...]
"""
import glob
import os
import subprocess
import sys

import clang.cindex as ci

GCC_CXX = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++"


def flags(root, third_party):
    """The library's own compile flags, as far as declarations depend on them."""
    result = ["--target=x86_64-w64-mingw32", "-std=c++20", "-nostdinc++", "-isystem", GCC_CXX,
              "-isystem", GCC_CXX + "/x86_64-w64-mingw32", "-isystem", GCC_CXX + "/backward",
              "-I", root, "-DUNICODE", "-D_UNICODE", "-DNOMINMAX", "-D_WIN32_WINNT=0x0A00",
              "-DWINVER=0x0A00", "-DNTDDI_VERSION=0x0A000000", "-DTIXML_USE_STL"]
    for folder in third_party:
        result += ["-isystem", folder]
    return result


def shape(t, depth=0):
    """The type as the calling convention sees it."""
    t = t.get_canonical()
    k = t.kind
    if k == ci.TypeKind.POINTER or k in (ci.TypeKind.LVALUEREFERENCE,
                                          ci.TypeKind.RVALUEREFERENCE):
        return "ptr(" + (shape(t.get_pointee(), depth + 1) if depth < 4 else "...") + ")"
    if k in (ci.TypeKind.RECORD, ci.TypeKind.ELABORATED):
        return "record"
    if k == ci.TypeKind.FUNCTIONPROTO:
        return "function"
    if k == ci.TypeKind.VOID:
        return "void"
    if k == ci.TypeKind.ENUM:
        return "int%d" % (t.get_size() * 8)
    if k in (ci.TypeKind.FLOAT, ci.TypeKind.DOUBLE, ci.TypeKind.LONGDOUBLE):
        return "float%d" % (t.get_size() * 8)
    size = t.get_size()
    return "int%d" % (size * 8) if size > 0 else t.spelling


def signature(cursor):
    params = [shape(a.type) for a in cursor.get_arguments()]
    variadic = cursor.type.kind == ci.TypeKind.FUNCTIONPROTO and cursor.type.is_function_variadic()
    return "%s(%s%s)" % (shape(cursor.result_type), ", ".join(params),
                         ", ..." if variadic else "")


def parse(index, path, args, unsaved=None):
    tu = index.parse(path, args=args, unsaved_files=unsaved)
    errors = [d for d in tu.diagnostics if d.severity >= ci.Diagnostic.Error]
    if errors:
        sys.exit("FAIL: clang cannot read %s:\n%s" % (path, "\n".join(map(str, errors[:5]))))
    return tu


def functions(tu, folder, want_definitions):
    found = {}

    def walk(cursor):
        for c in cursor.get_children():
            f = c.location.file
            if not f or not os.path.realpath(f.name).startswith(folder):
                continue
            try:
                kind = c.kind
            except ValueError:  # a kind this binding does not know: not a function
                continue
            if kind in (ci.CursorKind.LINKAGE_SPEC, ci.CursorKind.UNEXPOSED_DECL):  # extern "C"
                walk(c)
            elif (kind == ci.CursorKind.FUNCTION_DECL
                  and c.is_definition() == want_definitions
                  and c.mangled_name == c.spelling):  # C linkage: the symbol is the name
                found[c.spelling] = (signature(c), "%s:%d" % (os.path.basename(f.name),
                                                              c.location.line))

    walk(tu.cursor)
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    root, include = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    resource = subprocess.run(["clang", "-print-resource-dir"], capture_output=True,
                              text=True).stdout.strip()
    args = flags(root, sys.argv[3:]) + ["-resource-dir", resource]
    index = ci.Index.create()

    public = functions(parse(index, "public.cpp", args + ["-I", include],
                             [("public.cpp", '#include "kwilllib.h"\n')]),
                       os.path.join(include, "kwilllib") + os.sep, False)
    defined = {}
    for source in sorted(glob.glob(os.path.join(root, "exports", "*.cpp"))):
        defined.update(functions(parse(index, source, args), os.path.join(root, "exports") + os.sep,
                                 True))

    problems = []
    compared = 0
    for name, (declared, where) in sorted(public.items()):
        if name not in defined:
            continue  # exported or not: the header check's business
        compared += 1
        actual, there = defined[name]
        if declared != actual:
            problems.append("%s: include/kwilllib/%s declares %s, but exports/%s defines %s"
                            % (name, where, declared, there, actual))
    for p in problems:
        print("FAIL: " + p)
    if problems or compared == 0:
        print("0 passed, 1 failed: %d of %d declarations differ from their definitions"
              % (len(problems), compared))
        return 1
    print("1 passed, 0 failed: %d declarations agree with their definitions" % compared)
    return 0


if __name__ == "__main__":
    sys.exit(main())
