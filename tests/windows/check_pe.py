#!/usr/bin/python3
"""Named checks of the shipped Windows modules, run one at a time:

    check_pe.py CHECK --dll Selvarin.dll --string-dll zorv_string.dll --object Selvarin.cpp.obj

Exit 0 when the check holds; otherwise the reason is printed and the exit is 1.

The image is read, and what any component must be is checked, by the image
check every author runs (tools/image-check); this adds what is particular to
the modules we ship: their exact imports, version strings, table of virtual
operations, identification text and reproducible debug records.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "image-check"))
import zorv_image_check as checker  # noqa: E402

DESCRIPTION = "An auto take single destination component with selction indication"


def version_strings(version):
    """The record's strings for the release version a.b.c.d (--version)."""
    numbers = ", ".join(version.split("."))
    return {
        "Comments": "ZORV V4.5 Script Component",
        "FileDescription": DESCRIPTION,
        "FileVersion": numbers,
        "InternalName": "Selvarin",
        "OriginalFilename": "Selvarin",
        "ProductName": "ZORV V4.5",
        "ProductVersion": numbers,
        "LegalTrademarks": "",
        "PrivateBuild": "",
        "SpecialBuild": "",
    }

# The component's table of virtual operations, slot by slot: which the
# component overrides and which stay the base's.
VTABLE = [
    "public: virtual void * __thiscall Selvarin::`scalar deleting dtor'(unsigned int)",
    "public: virtual char const * __thiscall zorv_script_helper::callback(void *, int)",
    "protected: virtual void __thiscall Selvarin::buttonCallback(class ButtonView *)",
    "protected: virtual int __thiscall Selvarin::eventOneCallback(class EventView *)",
    "protected: virtual class zorv_string __thiscall Selvarin::parentCallback(class MessageView *)",
    "protected: virtual void __thiscall zorv_script_helper::eventSevenCallback(class EventView *)",
    "protected: virtual void __thiscall Selvarin::timerCallback(int)",
    "protected: virtual void __thiscall zorv_script_helper::eventSixCallback(class EventView *)",
]

# Exactly what each shipped module imports from the kernel: the process heap,
# ending the process when memory runs out, and (the component) the entry
# notification and the debug output. No C runtime DLL.
KERNEL32_COMPONENT = ["DisableThreadLibraryCalls", "ExitProcess", "GetProcessHeap", "HeapAlloc", "HeapFree",
                      "OutputDebugStringA"]
KERNEL32_TEXT_LIBRARY = ["ExitProcess", "GetProcessHeap", "HeapAlloc", "HeapFree"]

# The header's OS and subsystem versions: Windows XP, the oldest the README names.
MIN_WINDOWS = (5, 1)


def checker_options(a):
    """The image check's options for the shipped component."""
    return argparse.Namespace(expect_version=a.version, expect_description=DESCRIPTION, name="Selvarin",
                              text_library=None, allow_import=[], cls="Selvarin", object=a.object)


def check_machine(a, pe):
    return checker.check_machine(checker_options(a), pe)


def check_exports(a, pe):
    return checker.check_exports(checker_options(a), pe)


def kernel32_problems(who, table, wanted_dlls, wanted_kernel):
    problems = []
    dlls = sorted(dll.lower() for dll in table)
    if dlls != sorted(wanted_dlls):
        problems.append("%s imports from %s, not %s" % (who, dlls, sorted(wanted_dlls)))
    kernel = sorted(n for dll, names in table.items() if dll.lower() == "kernel32.dll" for n in names)
    if kernel != wanted_kernel:
        problems.append("%s imports %s from KERNEL32.dll, not %s" % (who, kernel, wanted_kernel))
    return problems


def check_imports(a, pe):
    problems = kernel32_problems("Selvarin.dll", checker.imports(pe), ["kernel32.dll", "zorv_string.dll"],
                                 KERNEL32_COMPONENT)
    return problems + kernel32_problems("zorv_string.dll", checker.imports(checker.read_image(a.string_dll)),
                                        ["kernel32.dll"], KERNEL32_TEXT_LIBRARY)


def check_os_version(a, pe):
    problems = []
    for who, image in (("Selvarin.dll", pe), ("zorv_string.dll", checker.read_image(a.string_dll))):
        h = image.OPTIONAL_HEADER
        for field in ("OperatingSystem", "Subsystem"):
            found = (getattr(h, "Major%sVersion" % field), getattr(h, "Minor%sVersion" % field))
            if found != MIN_WINDOWS:
                problems.append("%s: %s version %d.%d, not %d.%d" % ((who, field) + found + MIN_WINDOWS))
        if h.Subsystem != 2:
            problems.append("%s: subsystem %d, not Windows GUI (2)" % (who, h.Subsystem))
    return problems


def check_text_library_imports(a, pe):
    problems = checker.check_text_library_imports(checker_options(a), pe)
    names = next((n for dll, n in checker.imports(pe).items() if dll.lower() == checker.TEXT_LIBRARY_DLL), [])
    return problems or ([] if names else ["nothing imported from zorv_string.dll"])


def check_text_library_exports(a, pe):
    offered = {checker.demangle(n) for n in checker.exports(checker.read_image(a.string_dll))}
    return ["zorv_string.dll does not export %s" % s for s in sorted(checker.TEXT_LIBRARY - offered)]


def check_version(a, pe):
    problems = checker.check_version(checker_options(a), pe)
    if not getattr(pe, "VS_FIXEDFILEINFO", None) or not getattr(pe, "FileInfo", None):
        return problems or ["no version record (VERSIONINFO resource) in %s" % os.path.basename(a.dll)]
    fixed = pe.VS_FIXEDFILEINFO[0]
    if fixed.FileOS != 0x40004:
        problems.append("file OS 0x%x, not 0x40004" % fixed.FileOS)
    strings = {k.decode(): v.decode() for t in checker.string_tables(pe) for k, v in t.entries.items()}
    for key, value in version_strings(a.version).items():
        if strings.get(key) != value:
            problems.append("%s is %r, not %r" % (key, strings.get(key), value))
    for key in ("CompanyName", "LegalCopyright"):
        if not strings.get(key):
            problems.append(key + " is empty")
    translations = [v for info in pe.FileInfo[0] if info.Key == b"VarFileInfo" for var in info.Var
                    for v in var.entry.values()]
    if translations != ["0x0809 0x04b0"]:
        problems.append("translations %s" % translations)
    return problems


def check_manifest(a, pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return ["no resources at all in %s, so no manifest" % os.path.basename(a.dll)]
    problems = checker.check_manifest(checker_options(a), pe)
    if problems:
        return problems
    text = checker.resources(pe, 24)[0][1].decode("utf-8")
    if not re.search(r"level=\"asInvoker\"\s+uiAccess=\"false\"", text):
        return ["manifest does not request asInvoker without UI access:\n" + text]
    return []


def check_signature(a, pe):
    wanted = b"ZORV_SIG,name=zorv_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author="
    for section in pe.sections:
        if wanted in section.get_data():
            return []
    return ["identification text not in any section"]


def check_exceptions(a, pe):
    problems = checker.check_exceptions(checker_options(a), pe)
    if problems and pe.OPTIONAL_HEADER.DllCharacteristics & 0x400:
        problems.append("and it is marked NO_SEH: Windows would refuse its handlers")
    return problems


def check_vtable(a, pe):
    found = checker.vtable_slots(a.object, "Selvarin")
    if found is None:
        return ["no vftable symbol for Selvarin in the object file"]
    if found[:len(VTABLE)] != VTABLE:
        return ["vftable slots are:\n  " + "\n  ".join(found)]
    return []


def debug_entries(pe):
    pe.parse_data_directories(directories=[checker.pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]])
    return getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])


def check_debug(a, pe):
    """A reproducible build (REPRO entry, no time stamp) whose PDB is named by file name alone."""
    problems = []
    for who, path in (("Selvarin.dll", a.dll), ("zorv_string.dll", a.string_dll)):
        image = pe if path == a.dll else checker.read_image(path)
        entries = debug_entries(image)
        kinds = [e.struct.Type for e in entries]
        if 16 not in kinds:
            problems.append("%s has no REPRO debug entry: not linked with /Brepro" % who)
        views = [e.entry for e in entries if e.struct.Type == 2 and e.entry is not None]
        if not views:
            problems.append("%s names no PDB" % who)
        for view in views:
            name = view.PdbFileName.rstrip(b"\0").decode("latin-1")
            wanted = os.path.splitext(os.path.basename(path))[0] + ".pdb"
            if name != wanted:
                problems.append("%s names its PDB %r, not %r" % (who, name, wanted))
    if not os.path.isfile(os.path.splitext(a.dll)[0] + ".pdb"):
        problems.append("no Selvarin.pdb beside Selvarin.dll")
    return problems


def check_build_paths(a, pe):
    """No folder of the build machine anywhere in the images, nor in their PDBs."""
    problems = []
    images = (a.dll, a.string_dll)
    pdbs = [os.path.splitext(path)[0] + ".pdb" for path in images]
    for path in images + tuple(p for p in pdbs if os.path.isfile(p)):
        with open(path, "rb") as f:
            data = f.read()
        for folder in a.forbid_path:
            for form in sorted({folder, folder.replace("/", "\\")}):
                if form.encode() in data:
                    problems.append("%s contains the build path %s" % (os.path.basename(path), form))
    return problems


CHECKS = {
    "machine": check_machine,
    "exports": check_exports,
    "imports": check_imports,
    "os_version": check_os_version,
    "text_library_imports": check_text_library_imports,
    "text_library_exports": check_text_library_exports,
    "version": check_version,
    "manifest": check_manifest,
    "signature": check_signature,
    "exceptions": check_exceptions,
    "vtable": check_vtable,
    "debug": check_debug,
    "build_paths": check_build_paths,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--dll", required=True)
    parser.add_argument("--string-dll", required=True)
    parser.add_argument("--object", required=True)
    parser.add_argument("--version", required=True, help="the release's version a.b.c.d (the VERSION file)")
    parser.add_argument("--forbid-path", action="append", default=[], help="a folder that must not appear")
    args = parser.parse_args()
    if checker.pefile is None:
        print("check_pe.py: the Python module pefile is missing (Debian: python3-pefile)", file=sys.stderr)
        return 2
    try:
        image = checker.read_image(args.dll)
    except (OSError, checker.ImageError) as error:
        print("FAIL %s: cannot read %s as a PE image: %s" % (args.check, args.dll, error))
        return 1
    try:
        problems = CHECKS[args.check](args, image)
    except (OSError, checker.ImageError) as error:
        problems = ["cannot read a file the check needs: %s" % error]
    for problem in problems:
        print("FAIL %s: %s" % (args.check, problem))
    if not problems:
        print("PASS %s" % args.check)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
