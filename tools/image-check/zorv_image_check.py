#!/usr/bin/python3
"""Checks a component DLL's image for what the panel host relies on.

    zorv_image_check.py NAME.dll [--expect-version a.b.c.d] [--expect-description TEXT]
                        [--text-library zorv_string.dll] [--class NAME --object NAME.cpp.obj]
                        [--allow-import DLL]... [--only CHECK]... [--json]

One line a check: PASS NAME, or FAIL NAME: what is wrong (SKIP when the
check needs an option that was not given). Exit status 0 when nothing
failed, 1 when something did, 2 on bad usage or a file that is no PE image,
3 when a tool it needs (pefile, llvm-undname) is missing.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

try:
    import pefile
except ImportError:
    pefile = None

# What read_image raises for a file that is no PE image.
ImageError = pefile.PEFormatError if pefile else ValueError

FACTORY = "load_zorv_client_script"

# Every operation of the text library a component may import, demangled as
# the Microsoft ABI spells them on the 32-bit target.
TEXT_LIBRARY = {
    "public: __thiscall zorv_string::zorv_string(void)",
    "public: __thiscall zorv_string::zorv_string(char const *)",
    "public: __thiscall zorv_string::zorv_string(class zorv_string const &)",
    "public: __thiscall zorv_string::zorv_string(int, char, unsigned int, int)",
    "public: virtual __thiscall zorv_string::~zorv_string(void)",
    "public: class zorv_string & __thiscall zorv_string::operator=(char const *)",
    "public: class zorv_string & __thiscall zorv_string::operator=(class zorv_string const &)",
    "public: class zorv_string & __thiscall zorv_string::operator+=(class zorv_string const &)",
    "public: char const * __thiscall zorv_string::operator char const *(void) const",
    "public: unsigned int __thiscall zorv_string::length(void) const",
    "public: int __thiscall zorv_string::toInt(void) const",
    "public: int __thiscall zorv_string::split(char, class zorv_string &, class zorv_string &) const",
    "public: class zorv_string __thiscall zorv_string::arg(class zorv_string const &) const",
    "public: class zorv_string __thiscall zorv_string::arg(int, char, unsigned int, int) const",
    "bool __cdecl operator==(class zorv_string const &, char const *)",
    "bool __cdecl operator!=(class zorv_string const &, char const *)",
    "bool __cdecl operator!=(class zorv_string const &, class zorv_string const &)",
    "bool __cdecl operator==(class zorv_string const &, int)",
    "class zorv_string const __cdecl operator+(class zorv_string const &, class zorv_string const &)",
    "class zorv_string const __cdecl operator+(class zorv_string const &, char const *)",
    "class zorv_string const __cdecl operator+(char const *, class zorv_string const &)",
    "public: virtual __thiscall zorv_stringlist::~zorv_stringlist(void)",
    "public: __thiscall zorv_stringlist::zorv_stringlist(void)",
    "public: __thiscall zorv_stringlist::zorv_stringlist(class zorv_stringlist const &)",
    "public: __thiscall zorv_stringlist::zorv_stringlist(class zorv_string const &, char)",
    "public: class zorv_stringlist & __thiscall zorv_stringlist::operator<<(class zorv_string const &)",
    "public: class zorv_string __thiscall zorv_stringlist::toString(char)",
    "public: class zorv_stringlistIterator const __thiscall zorv_stringlist::begin(void)",
    "public: class zorv_stringlistIterator const __thiscall zorv_stringlist::end(void)",
    "public: bool __thiscall zorv_stringlistIterator::operator!=(class zorv_stringlistIterator const &) const",
    "public: class zorv_string & __thiscall zorv_stringlistIterator::operator*(void) const",
    "public: class zorv_stringlistIterator __thiscall zorv_stringlistIterator::operator++(void)",
}

TEXT_LIBRARY_DLL = "zorv_string.dll"

# The base class's virtual operations in slot order; a component's class
# overrides some of them, the rest stay the base's.
VTABLE_SLOTS = [
    ("public: virtual void * __thiscall {cls}::`scalar deleting dtor'(unsigned int)", False),
    ("public: virtual char const * __thiscall {cls}::callback(void *, int)", True),
    ("protected: virtual void __thiscall {cls}::buttonCallback(class ButtonView *)", True),
    ("protected: virtual int __thiscall {cls}::eventOneCallback(class EventView *)", True),
    ("protected: virtual class zorv_string __thiscall {cls}::parentCallback(class MessageView *)", True),
    ("protected: virtual void __thiscall {cls}::eventSevenCallback(class EventView *)", True),
    ("protected: virtual void __thiscall {cls}::timerCallback(int)", True),
    ("protected: virtual void __thiscall {cls}::eventSixCallback(class EventView *)", True),
]
BASE_CLASS = "zorv_script_helper"

EXCEPTION_RUNTIME = {"__CxxFrameHandler3", "__CxxFrameHandler4", "_CxxThrowException", "_except_handler3",
                     "_except_handler4_common", "__std_terminate", "__C_specific_handler"}

C_RUNTIME = re.compile(r"^(ucrtbase|msvcrt|msvcr\d+|msvcp\d+|vcruntime\d+|api-ms-win-crt-.*)\.dll$", re.I)


class Missing(Exception):
    """A tool the check needs is not installed (exit 3)."""


def tool(*names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    raise Missing("%s not found (Debian package llvm-16)" % names[0])


_demangled = {}


def demangle(name):
    if name not in _demangled:
        out = subprocess.run([tool("llvm-undname-16", "llvm-undname"), name], capture_output=True, text=True).stdout
        lines = [line.strip() for line in out.splitlines() if line.strip()]
        _demangled[name] = lines[-1] if lines else name
    return _demangled[name]


def read_image(path):
    """The PE image at path; OSError when the file cannot be read, ImageError
    when it is no PE image."""
    return pefile.PE(path)


def imports(pe):
    table = {}
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        table[entry.dll.decode(errors="replace")] = [
            imp.name.decode(errors="replace") if imp.name else "#%d" % imp.ordinal for imp in entry.imports]
    return table


def exports(pe):
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if directory is None:
        return []
    return [sym.name.decode(errors="replace") if sym.name else "#%d" % sym.ordinal for sym in directory.symbols]


def resources(pe, kind):
    """The (id, bytes) of every resource of the given type id."""
    found = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        if entry.id != kind or not hasattr(entry, "directory"):
            continue
        for name in entry.directory.entries:
            for language in getattr(name, "directory", None).entries if hasattr(name, "directory") else []:
                data = language.data.struct
                found.append((name.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def check_machine(a, pe):
    problems = []
    if pe.FILE_HEADER.Machine != 0x14C:
        problems.append("machine is 0x%x, not i386 (the host is a 32-bit program)" % pe.FILE_HEADER.Machine)
    if not pe.FILE_HEADER.Characteristics & 0x2000:
        problems.append("not marked as a DLL")
    if pe.OPTIONAL_HEADER.Magic != 0x10B:
        problems.append("not a PE32 image")
    for flag, name in ((0x40, "DYNAMIC_BASE"), (0x100, "NX_COMPAT")):
        if not pe.OPTIONAL_HEADER.DllCharacteristics & flag:
            problems.append("DllCharacteristics lacks " + name)
    return problems


def check_exports(a, pe):
    names = exports(pe)
    if names == [FACTORY]:
        return []
    if not names:
        return ["exports nothing; the host looks for %s" % FACTORY]
    shown = ", ".join(names[:4]) + (" and %d more" % (len(names) - 4) if len(names) > 4 else "")
    return ["exports %s; the host wants %s alone" % (shown, FACTORY)]


def check_imports(a, pe):
    problems = []
    allowed = {TEXT_LIBRARY_DLL, "kernel32.dll"} | {d.lower() for d in a.allow_import}
    for dll in sorted(imports(pe)):
        if C_RUNTIME.match(dll):
            problems.append("imports the C runtime %s, which older Windows lacks without an update" % dll)
        elif dll.lower() not in allowed:
            problems.append("imports %s, which the host's machine may not have" % dll)
    return problems


def check_text_library_imports(a, pe):
    names = next((n for dll, n in imports(pe).items() if dll.lower() == TEXT_LIBRARY_DLL), [])
    problems = ["%s (%s) is not an operation of the text library" % (demangle(n), n)
                for n in names if demangle(n) not in TEXT_LIBRARY]
    if a.text_library:
        offered = set(exports(read_image(a.text_library)))
        problems += ["%s does not export %s (%s)" % (os.path.basename(a.text_library), demangle(n), n)
                     for n in names if n not in offered]
    return problems


def version_text(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def string_tables(pe):
    return [t for info in getattr(pe, "FileInfo", [[]])[0] if getattr(info, "Key", b"") == b"StringFileInfo"
            for t in info.StringTable]


def check_version(a, pe):
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        return ["no version record (a VERSIONINFO resource)"]
    problems = []
    fixed = pe.VS_FIXEDFILEINFO[0]
    file_version = version_text(fixed.FileVersionMS, fixed.FileVersionLS)
    product_version = version_text(fixed.ProductVersionMS, fixed.ProductVersionLS)
    if a.expect_version and file_version != a.expect_version:
        problems.append("file version is %s, not %s" % (file_version, a.expect_version))
    if a.expect_version and product_version != a.expect_version:
        problems.append("product version is %s, not %s" % (product_version, a.expect_version))
    if fixed.FileType != 2:
        problems.append("file type is %d, not 2 (a DLL)" % fixed.FileType)
    tables = string_tables(pe)
    languages = [t.LangID.decode(errors="replace") for t in tables]
    if languages != ["080904b0"]:
        problems.append("string tables %s, not one for 080904b0" % languages)
    strings = {k.decode(errors="replace"): v.decode(errors="replace") for t in tables for k, v in t.entries.items()}
    dotted = lambda text: ".".join(p.strip() for p in text.split(","))
    for key, value in (("FileVersion", a.expect_version), ("ProductVersion", a.expect_version),
                       ("FileDescription", a.expect_description), ("InternalName", a.name),
                       ("OriginalFilename", a.name)):
        if key not in strings:
            problems.append("%s is missing" % key)
        elif value and dotted(strings[key]) != dotted(value) and strings[key] != value:
            # Like with like: a version string is written "1, 0, 0, 1".
            wanted = ", ".join(value.split(".")) if key.endswith("Version") and ", " in strings[key] else value
            problems.append("%s is %r, not %r" % (key, strings[key], wanted))
    return problems


def native_hint(path):
    """What the file is instead, where it is one of our native builds."""
    try:
        with open(path, "rb") as f:
            start = f.read(4)
    except OSError:
        return ""
    return ": it is an ELF library, a native build; the checks are for the Windows build" if start == b"\x7fELF" else ""


def check_manifest(a, pe):
    found = resources(pe, 24)
    if not found:
        return ["no manifest resource"]
    ident, data = found[0]
    if ident != 2:
        return ["the manifest has id %s; a DLL's must be 2" % ident]
    text = data.decode("utf-8", errors="replace")
    if "<assembly" not in text:
        return ["the manifest resource holds no <assembly> element"]
    return []


def check_exceptions(a, pe):
    used = sorted({n for names in imports(pe).values() for n in names} & EXCEPTION_RUNTIME)
    return ["imports the C++ exception runtime (%s); components are built without exceptions" % ", ".join(used)] \
        if used else []


def vtable_slots(object_file, cls):
    """The demangled targets of the class's vftable in its object file, slot
    by slot (read from the table's relocations); None when it has no vftable."""
    objdump = tool("llvm-objdump-16", "llvm-objdump")
    mangled = "??_7%s@@6B@" % cls
    out = subprocess.run([objdump, "-r", "-t", object_file], capture_output=True, text=True).stdout
    symbol = re.search(r"^\[\s*\d+\]\(sec\s+(\d+)\)\(.*\)\(.*\)\s*\(.*\)\s*\(nx \d+\) 0x([0-9a-f]+) "
                       + re.escape(mangled) + "$", out, re.M)
    if not symbol:
        return None
    section, start = int(symbol.group(1)), int(symbol.group(2), 16)
    headers = re.findall(r"^\s*(\d+)\s+(\S+)\s", subprocess.run([objdump, "-h", object_file], capture_output=True,
                                                               text=True).stdout, re.M)
    names = [name for index, name in headers if int(index) == section - 1]
    slots = {}
    for block in re.split(r"^RELOCATION RECORDS FOR \[", out, flags=re.M)[1:]:
        title, _, body = block.partition("]:\n")
        if names and title == names[0]:
            for offset, _kind, target in re.findall(r"^([0-9a-f]+)\s+(\S+)\s+(\S+)$", body, re.M):
                slots[int(offset, 16)] = target
    return [demangle(slots[offset]) for offset in sorted(slots) if offset >= start]


def check_vtable(a, pe):
    found = vtable_slots(a.object, a.cls)
    if found is None:
        return ["no vftable of class %s in %s" % (a.cls, a.object)]
    found = found[:len(VTABLE_SLOTS)]
    problems = []
    for index, (pattern, base_allowed) in enumerate(VTABLE_SLOTS):
        wanted = {pattern.format(cls=a.cls)} | ({pattern.format(cls=BASE_CLASS)} if base_allowed else set())
        seen = found[index] if index < len(found) else "nothing"
        if seen not in wanted:
            problems.append("slot %d is %s, not %s" % (index, seen, pattern.format(cls=a.cls)))
    return problems


# name -> (function, what the check needs beyond the DLL)
CHECKS = {
    "machine": (check_machine, None),
    "exports": (check_exports, None),
    "imports": (check_imports, None),
    "text_library": (check_text_library_imports, None),
    "version": (check_version, None),
    "manifest": (check_manifest, None),
    "exceptions": (check_exceptions, None),
    "vtable": (check_vtable, "cls"),
}


def run(a, pe):
    results = []
    for name, (function, needs) in CHECKS.items():
        if a.only and name not in a.only:
            continue
        if needs and not getattr(a, needs):
            results.append((name, "SKIP", ["give --class and --object"]))
            continue
        try:
            problems = function(a, pe)
        except Missing:
            raise
        except Exception as error:  # a malformed image: say what could not be read
            problems = ["could not be read: %s" % error]
        results.append((name, "FAIL" if problems else "PASS", problems))
    return results


def main():
    parser = argparse.ArgumentParser(prog=os.environ.get("ZORV_IMAGE_CHECK_PROG"), description="Checks a component DLL for what the panel host relies on.")
    parser.add_argument("dll")
    parser.add_argument("--expect-version", help="a.b.c.d, as given to zorv_add_component")
    parser.add_argument("--expect-description", help="the FileDescription it must carry")
    parser.add_argument("--name", help="InternalName and OriginalFilename (default: the file's name)")
    parser.add_argument("--text-library", help="a text library DLL that must export every imported operation")
    parser.add_argument("--class", dest="cls", help="the component's class, for the vtable check")
    parser.add_argument("--object", help="the object file that defines the class, for the vtable check")
    parser.add_argument("--allow-import", action="append", default=[], help="a further DLL it may import")
    parser.add_argument("--only", action="append", choices=sorted(CHECKS), help="run only this check")
    parser.add_argument("--json", action="store_true", help="print the results as JSON")
    a = parser.parse_args()
    if a.expect_version and not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", a.expect_version):
        parser.error("--expect-version is a.b.c.d, not %r" % a.expect_version)
    if a.cls and not a.object:
        parser.error("--class needs --object, the object file that defines the class")
    if a.name is None:
        a.name = os.path.splitext(os.path.basename(a.dll))[0]
    if pefile is None:
        print("zorv-image-check: the Python module pefile is missing (Debian package python3-pefile)",
              file=sys.stderr)
        return 3
    try:
        pe = read_image(a.dll)
    except OSError as error:
        print("zorv-image-check: %s: %s" % (a.dll, error), file=sys.stderr)
        return 2
    except ImageError as error:
        print("zorv-image-check: %s is not a Windows DLL%s (%s)" % (a.dll, native_hint(a.dll), error.value),
              file=sys.stderr)
        return 2
    try:
        results = run(a, pe)
    except Missing as error:
        print("zorv-image-check: %s" % error, file=sys.stderr)
        return 3
    if a.json:
        print(json.dumps({"schema": 1, "dll": a.dll, "checks": [
            {"name": n, "status": s, "problems": p} for n, s, p in results]}, indent=2))
    else:
        for name, status, problems in results:
            if status == "PASS":
                print("PASS %s" % name)
            for problem in problems:
                print("%s %s: %s" % (status, name, problem))
    return 1 if any(status == "FAIL" for _, status, _ in results) else 0


if __name__ == "__main__":
    sys.exit(main())
