#!/usr/bin/python3
"""Named checks of the shipped Windows modules, run one at a time:

    check_pe.py CHECK --dll Selvarin.dll --string-dll zorv_string.dll --object Selvarin.cpp.obj

Exit 0 when the check holds; otherwise the reason is printed and the exit is 1.
"""
import argparse
import os
import re
import subprocess
import sys

import pefile

# The text library's operations and the exception runtime's names: one list,
# kept by the image check any author runs.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "image-check"))
from zorv_image_check import EXCEPTION_RUNTIME, TEXT_LIBRARY  # noqa: E402

VERSION_STRINGS = {
    "Comments": "ZORV V4.5 Script Component",
    "FileDescription": "An auto take single destination component with selction indication",
    "FileVersion": "1, 0, 0, 1",
    "InternalName": "Selvarin",
    "OriginalFilename": "Selvarin",
    "ProductName": "ZORV V4.5",
    "ProductVersion": "1, 0, 0, 1",
    "LegalTrademarks": "",
    "PrivateBuild": "",
    "SpecialBuild": "",
}

# The component's table of virtual operations, slot by slot.
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



def demangle(name):
    out = subprocess.run(["llvm-undname-16", name], capture_output=True, text=True, check=True).stdout
    return [line for line in out.splitlines() if line.strip()][-1].strip()


def imports(pe):
    table = {}
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        table[entry.dll.decode()] = [imp.name.decode() for imp in entry.imports if imp.name]
    return table


def exports(pe):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    return [sym.name.decode() for sym in pe.DIRECTORY_ENTRY_EXPORT.symbols if sym.name]


def check_machine(a, pe):
    problems = []
    if pe.FILE_HEADER.Machine != 0x14C:
        problems.append("machine is 0x%x, not i386" % pe.FILE_HEADER.Machine)
    if not pe.FILE_HEADER.Characteristics & 0x2000:
        problems.append("not marked as a DLL")
    if pe.OPTIONAL_HEADER.Magic != 0x10B:
        problems.append("not a PE32 image")
    for flag, name in ((0x40, "DYNAMIC_BASE"), (0x100, "NX_COMPAT")):
        if not pe.OPTIONAL_HEADER.DllCharacteristics & flag:
            problems.append("DllCharacteristics lacks " + name)
    return problems


def check_exports(a, pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        return ["no export table: the host finds no load_zorv_client_script"]
    names = exports(pe)
    return [] if names == ["load_zorv_client_script"] else ["exports are %s" % names]


# Exactly what each shipped module imports from the kernel: the process heap,
# ending the process when memory runs out, and (the component) the entry
# notification and the debug output. No C runtime DLL.
KERNEL32_COMPONENT = ["DisableThreadLibraryCalls", "ExitProcess", "GetProcessHeap", "HeapAlloc", "HeapFree",
                      "OutputDebugStringA"]
KERNEL32_TEXT_LIBRARY = ["ExitProcess", "GetProcessHeap", "HeapAlloc", "HeapFree"]

# The header's OS and subsystem versions: Windows XP, the oldest the README names.
MIN_WINDOWS = (5, 1)


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
    problems = kernel32_problems("Selvarin.dll", imports(pe), ["kernel32.dll", "zorv_string.dll"],
                                 KERNEL32_COMPONENT)
    return problems + kernel32_problems("zorv_string.dll", imports(pefile.PE(a.string_dll)), ["kernel32.dll"],
                                        KERNEL32_TEXT_LIBRARY)


def check_os_version(a, pe):
    problems = []
    for who, image in (("Selvarin.dll", pe), ("zorv_string.dll", pefile.PE(a.string_dll))):
        h = image.OPTIONAL_HEADER
        for field in ("OperatingSystem", "Subsystem"):
            found = (getattr(h, "Major%sVersion" % field), getattr(h, "Minor%sVersion" % field))
            if found != MIN_WINDOWS:
                problems.append("%s: %s version %d.%d, not %d.%d" % ((who, field) + found + MIN_WINDOWS))
        if h.Subsystem != 2:
            problems.append("%s: subsystem %d, not Windows GUI (2)" % (who, h.Subsystem))
    return problems


def check_text_library_imports(a, pe):
    names = next((n for dll, n in imports(pe).items() if dll.lower() == "zorv_string.dll"), [])
    problems = ["%s demangles to %r, not an operation of the text library" % (n, demangle(n))
                for n in names if demangle(n) not in TEXT_LIBRARY]
    return problems or ([] if names else ["nothing imported from zorv_string.dll"])


def check_text_library_exports(a, pe):
    stand_in = pefile.PE(a.string_dll)
    offered = {demangle(n) for n in exports(stand_in)}
    return ["zorv_string.dll does not export %s" % s for s in sorted(TEXT_LIBRARY - offered)]


def check_version(a, pe):
    if not getattr(pe, "VS_FIXEDFILEINFO", None) or not getattr(pe, "FileInfo", None):
        return ["no version record (VERSIONINFO resource) in %s" % os.path.basename(a.dll)]
    problems = []
    fixed = pe.VS_FIXEDFILEINFO[0]
    if (fixed.FileVersionMS, fixed.FileVersionLS) != (0x10000, 1):
        problems.append("file version %x.%x" % (fixed.FileVersionMS, fixed.FileVersionLS))
    if (fixed.ProductVersionMS, fixed.ProductVersionLS) != (0x10000, 1):
        problems.append("product version %x.%x" % (fixed.ProductVersionMS, fixed.ProductVersionLS))
    if fixed.FileType != 2 or fixed.FileOS != 0x40004:
        problems.append("file type %d, OS 0x%x" % (fixed.FileType, fixed.FileOS))
    tables = [t for info in pe.FileInfo[0] if info.Key == b"StringFileInfo" for t in info.StringTable]
    if [t.LangID for t in tables] != [b"080904b0"]:
        problems.append("string tables %s" % [t.LangID for t in tables])
    strings = {k.decode(): v.decode() for t in tables for k, v in t.entries.items()}
    for key, value in VERSION_STRINGS.items():
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
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if resources is None:
        return ["no resources at all in %s, so no manifest" % os.path.basename(a.dll)]
    for kind in resources.entries:
        if kind.id != 24:
            continue
        for name in kind.directory.entries:
            data = name.directory.entries[0].data.struct
            text = pe.get_data(data.OffsetToData, data.Size).decode("utf-8")
            if name.id != 2:
                return ["manifest has id %s, not 2" % name.id]
            if not re.search(r"level=\"asInvoker\"\s+uiAccess=\"false\"", text):
                return ["manifest does not request asInvoker without UI access:\n" + text]
            return []
    return ["no manifest resource"]


def check_signature(a, pe):
    wanted = b"ZORV_SIG,name=zorv_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author="
    for section in pe.sections:
        if wanted in section.get_data():
            return []
    return ["identification text not in any section"]


def check_exceptions(a, pe):
    used = {n for names in imports(pe).values() for n in names} & EXCEPTION_RUNTIME
    no_seh = bool(pe.OPTIONAL_HEADER.DllCharacteristics & 0x400)
    if used and no_seh:
        return ["imports %s but is marked NO_SEH: Windows would refuse its handlers" % sorted(used)]
    if used:
        return ["the modules are built without C++ exceptions, yet it imports %s" % sorted(used)]
    return []


def check_vtable(a, pe):
    """Reads the relocations of ??_7Selvarin@@6B@ in the component's object file."""
    out = subprocess.run(["llvm-objdump-16", "-r", "-t", a.object], capture_output=True, text=True,
                         check=True).stdout
    symbol = re.search(r"^\[\s*\d+\]\(sec\s+(\d+)\)\(.*\)\(.*\)\s*\(.*\)\s*\(nx \d+\) 0x([0-9a-f]+) \?\?_7Selvarin@@6B@$",
                       out, re.M)
    if not symbol:
        return ["no vftable symbol for Selvarin in the object file"]
    section, start = int(symbol.group(1)), int(symbol.group(2), 16)
    blocks = re.split(r"^RELOCATION RECORDS FOR \[", out, flags=re.M)[1:]
    headers = re.findall(r"^\s*(\d+)\s+(\S+)\s", subprocess.run(
        ["llvm-objdump-16", "-h", a.object], capture_output=True, text=True, check=True).stdout, re.M)
    names = [name for index, name in headers if int(index) == section - 1]
    slots = {}
    for block in blocks:
        title, _, body = block.partition("]:\n")
        if not names or title != names[0]:
            continue
        for offset, _kind, target in re.findall(r"^([0-9a-f]+)\s+(\S+)\s+(\S+)$", body, re.M):
            slots[int(offset, 16)] = target
    found = [demangle(slots[off]) for off in sorted(slots) if off >= start]
    if found[:len(VTABLE)] != VTABLE:
        return ["vftable slots are:\n  " + "\n  ".join(found)]
    return []


def debug_entries(pe):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]])
    return getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])


def check_debug(a, pe):
    """A reproducible build (REPRO entry, no time stamp) whose PDB is named by file name alone."""
    problems = []
    for who, path in (("Selvarin.dll", a.dll), ("zorv_string.dll", a.string_dll)):
        image = pe if path == a.dll else pefile.PE(path)
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
    parser.add_argument("--forbid-path", action="append", default=[], help="a folder that must not appear")
    args = parser.parse_args()
    try:
        image = pefile.PE(args.dll)
    except (OSError, pefile.PEFormatError) as error:
        print("FAIL %s: cannot read %s as a PE image: %s" % (args.check, args.dll, error))
        return 1
    try:
        problems = CHECKS[args.check](args, image)
    except (OSError, pefile.PEFormatError) as error:
        problems = ["cannot read a file the check needs: %s" % error]
    for problem in problems:
        print("FAIL %s: %s" % (args.check, problem))
    if not problems:
        print("PASS %s" % args.check)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
