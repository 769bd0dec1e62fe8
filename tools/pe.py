"""The one reader of PE images for the tools and checks here: pefile, and
the questions they all ask of a bootstrapper image.

Resource type names compare without regard to case, as Windows compares
them: the resource compiler stores the note's type "KvR" in capitals, and
the program's FindResourceA(..., "KvR") finds it. It is written "KvR" here.
"""
import pefile

# (type, id, what it holds) of the three payloads, in the order of every
# command line that names their files: package, installer, note.
PAYLOADS = (("MSI", 130, "package"), ("EXE", 134, "framework installer"), ("KvR", 10, "note"))
RT_ICON, RT_VERSION, RT_GROUP_ICON, RT_MANIFEST = 3, 16, 14, 24
CFB_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
Error = pefile.PEFormatError


def load(path, *directories):
    """The image at `path` with the named data directories parsed
    ("RESOURCE", "IMPORT", ...). Raises OSError or Error."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + d] for d in directories])
    return pe


def directory(pe, name):
    """(RVA, size) of a data directory."""
    index = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[index]
    return entry.VirtualAddress, entry.Size


def resources(pe):
    """{(type, id): {language: bytes}}; a type or id given by name in
    capitals, as the loader compares it."""
    def key(entry):
        return str(entry.name).upper() if entry.name is not None else entry.id

    result = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in root.entries if root else []:
        if not hasattr(rtype, "directory"):
            raise Error("resource type without a name level")
        for name in rtype.directory.entries:
            if not hasattr(name, "directory"):
                raise Error("resource name without a language level")
            languages = result.setdefault((key(rtype), key(name)), {})
            for lang in name.directory.entries:
                leaf = lang.data.struct
                data = pe.get_data(leaf.OffsetToData, leaf.Size)
                if len(data) != leaf.Size:
                    raise Error(f"resource {key(rtype)} {key(name)} runs past the end of the file")
                languages[lang.id] = data
    return result


def payload(res, rtype, rid):
    """The bytes of a payload resource (its one language), or None."""
    languages = res.get((rtype.upper(), rid))
    return next(iter(languages.values())) if languages else None


def version(pe):
    """(fixed, tables, translations) of the version resource: fixed
    {"FILEVERSION": "a.b.c.d", "PRODUCTVERSION": ...} (empty without the
    resource), tables {language-codepage: {key: value}}, translations
    [(language, codepage)]."""
    fixed, tables, translations = {}, {}, []
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        info = pe.VS_FIXEDFILEINFO[0]
        for what, ms, ls in (("FILEVERSION", info.FileVersionMS, info.FileVersionLS),
                             ("PRODUCTVERSION", info.ProductVersionMS, info.ProductVersionLS)):
            fixed[what] = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    for entry in (e for info in getattr(pe, "FileInfo", None) or [] for e in info):
        for table in getattr(entry, "StringTable", []):
            tables[table.LangID.decode()] = {k.decode(): v.decode()
                                             for k, v in table.entries.items()}
        for var in getattr(entry, "Var", []):
            for pair in var.entry.get(b"Translation", "").split(","):
                if pair.strip():
                    translations.append(tuple(int(x, 16) for x in pair.split()))
    return fixed, tables, translations


def payload_findings(paths, bound, allow_unusual=False):
    """What is wrong with the payload files (package, installer, note):
    (refusals, warnings), each a list of lines. A path "-" stands for a file
    not made yet, which is left out (and the bound with it). Raises OSError
    for a file that cannot be read."""
    refusals, warnings = [], []
    unusual = warnings if allow_unusual else refusals
    sizes, heads = [], []
    for path in paths:
        if path == "-":
            heads.append(None)
            sizes.append(None)
            continue
        with open(path, "rb") as f:
            heads.append(f.read(8))
            sizes.append(f.seek(0, 2))
    msi, exe, note = paths
    if heads[0] not in (None, CFB_SIGNATURE):
        unusual.append(f"the package {msi} is not a Windows Installer package: it does not "
                       "begin with the compound-file signature D0 CF 11 E0 A1 B1 1A E1")
    if heads[1] is not None and heads[1][:2] != b"MZ":
        unusual.append(f"the framework installer {exe} is not a program: "
                       "it does not begin with MZ")
    if sizes[2] == 0:
        unusual.append(f"the note {note} is empty: a note is UTF-16LE text (two bytes a "
                       "character), made with payloads/make_note.py --from TEXT_FILE --out FILE")
    elif sizes[2] is not None and sizes[2] % 2:
        warnings.append(f"the note {note} has an odd length ({sizes[2]} bytes): "
                        "its last byte is ignored when it is read")
    if bound is not None and None not in sizes and sum(sizes) > bound:
        refusals.append(f"the payloads total {sum(sizes)} bytes (MSI {sizes[0]}, EXE {sizes[1]}, "
                        f"NOTE {sizes[2]}), more than the bound of {bound} bytes: an "
                        "executable that large may not load on 32-bit Windows")
    return refusals, warnings
