#!/usr/bin/python3
"""Prints, one per line, every field of a DLL that the image checks read:
header fields, exports, imports, version record and manifest. Two builds of
the same component are equivalent for the host when their outputs match:

    pe_fields.py A.dll > a.txt; pe_fields.py B.dll > b.txt; diff a.txt b.txt
"""
import os
import sys

# The image is read by the image check every author runs, the one reader of
# PE files in this tree.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "image-check"))
import zorv_image_check as checker  # noqa: E402

if checker.pefile is None:
    print("pe_fields.py: the Python module pefile is missing (Debian: python3-pefile)", file=sys.stderr)
    sys.exit(2)


def fields(path):
    pe = checker.read_image(path)
    out = []
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    out.append(f"machine {fh.Machine:#x}")
    out.append(f"characteristics {fh.Characteristics:#x}")
    out.append(f"subsystem {oh.Subsystem}")
    out.append(f"dll_characteristics {oh.DllCharacteristics:#x}")
    out.append(f"image_base {oh.ImageBase:#x}")
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        exp = pe.DIRECTORY_ENTRY_EXPORT
        out.append(f"export_dll {exp.name.decode()}")
        for s in exp.symbols:
            out.append(f"export {s.ordinal} {s.name.decode() if s.name else ''}")
    for dll, names in checker.imports(pe).items():
        out.extend(f"import {dll} {name}" for name in names)
    for info in getattr(pe, "VS_FIXEDFILEINFO", []):
        for key in ("FileVersionMS", "FileVersionLS", "ProductVersionMS", "ProductVersionLS",
                    "FileFlagsMask", "FileFlags", "FileOS", "FileType", "FileSubtype"):
            out.append(f"fixed {key} {getattr(info, key):#x}")
    for fi in getattr(pe, "FileInfo", []):
        for block in fi:
            for table in getattr(block, "StringTable", []):
                out.append(f"strings {table.LangID.decode()}")
                for k, v in table.entries.items():
                    out.append(f"string {k.decode()}={v.decode()}")
            for var in getattr(block, "Var", []):
                for k, v in var.entry.items():
                    out.append(f"var {k.decode()}={v}")
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for rtype in resources:
        for rid in rtype.directory.entries:
            for lang in rid.directory.entries:
                out.append(f"resource {rtype.id} {rid.id} lang {lang.id:#x}")
                if rtype.id == 24:
                    data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                    out.append("manifest " + data.decode("utf-8", "replace").replace("\n", "\\n"))
    return out


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: pe_fields.py FILE.dll", file=sys.stderr)
        sys.exit(2)
    try:
        print("\n".join(fields(sys.argv[1])))
    except (OSError, checker.ImageError) as e:
        print(f"pe_fields.py: {sys.argv[1]}: {e}", file=sys.stderr)
        sys.exit(1)
