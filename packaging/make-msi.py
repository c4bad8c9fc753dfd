#!/usr/bin/env python3
"""Builds the Windows installer from a folder holding the program:

    make-msi.py PROGRAM-FOLDER EXAMPLES-FOLDER ICON VERSION OUT.msi

plivan.wxs (beside this script) describes the product; this script writes the
components for the program's folder (the portable zip's files) and for the
first-use copy of the examples in C:\\Plivan, builds the MSI with wixl, and then adds
with msibuild what wixl 0.101 cannot express:

- C:\\Plivan as the first-use folder, whatever drive Windows is on;
- a search for C:\\Plivan\\Plivan.txt (AppSearch, Signature and DrLocator rows
  setting PLIVANTXT), run at the start of both install sequences;
- the first-use components conditioned on NOT PLIVANTXT, and marked permanent
  (never removed, not even on uninstall) and never-overwrite (not installed
  over a file of the same name that is already there);
- an upgrade row that also replaces an installed build of the same version;
- the program's icon in the Icon table, named by ARPPRODUCTICON, and the
  program's folder in ARPINSTALLLOCATION, for Apps & features.

Component codes are derived from the UpgradeCode and each file's place, so
they stay the same from version to version.
"""
import os
import re
import subprocess
import sys
import tempfile
import uuid
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
WXS = os.path.join(HERE, "plivan.wxs")

# Component attributes (Windows Installer's Component table).
WIN64, PERMANENT, NEVER_OVERWRITE = 0x100, 0x10, 0x80
FOUND = "PLIVANTXT"


def upgrade_code():
    with open(WXS, encoding="utf-8") as f:
        return uuid.UUID(re.search(r'UpgradeCode="([0-9A-F-]+)"', f.read()).group(1))


def files_under(folder):
    out = []
    for base, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            out.append(os.path.relpath(os.path.join(base, name), folder).replace(os.sep, "/"))
    return out


def group_fragment(group, directory, source_var, files, namespace):
    """The components of one group, one file each (its key path), under the
    directory `directory`, with subfolders as they are in the source."""
    def key(kind, rel):
        return kind + uuid.uuid5(namespace, group + "/" + rel).hex.upper()

    tree = {}
    for rel in files:
        node = tree
        for part in rel.split("/")[:-1]:
            node = node.setdefault(part + "/", {})
        node[rel] = None
    components, lines = [], []

    def emit(node, prefix, depth):
        pad = "  " * depth
        for name, child in sorted(node.items()):
            if child is None:
                cid = key("C", name)
                components.append(cid)
                lines.append('%s<Component Id="%s" Guid="%s" Win64="yes">' %
                             (pad, cid, uuid.uuid5(namespace, group + "/" + name)))
                lines.append('%s  <File Id="%s" Name=%s KeyPath="yes" Source=%s/>' %
                             (pad, key("F", name), quoteattr(name.split("/")[-1]),
                              quoteattr("$(var.%s)/%s" % (source_var, name))))
                lines.append("%s</Component>" % pad)
            else:
                lines.append('%s<Directory Id="%s" Name=%s>' % (pad, key("D", prefix + name), quoteattr(name[:-1])))
                emit(child, prefix + name, depth + 1)
                lines.append("%s</Directory>" % pad)

    emit(tree, "", 3)
    text = ['  <Fragment>', '    <DirectoryRef Id="%s">' % directory] + lines + ['    </DirectoryRef>',
            '    <ComponentGroup Id="%s">' % group]
    text += ['      <ComponentRef Id="%s"/>' % c for c in components]
    text += ['    </ComponentGroup>', '  </Fragment>']
    return text, components


def msibuild(msi, *args):
    subprocess.run(["msibuild", msi] + list(args), check=True)


def sql(msi, *queries):
    for q in queries:
        msibuild(msi, "-q", q)


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    program, examples, icon, version, out = sys.argv[1:]
    out = os.path.abspath(out)
    namespace = upgrade_code()
    with tempfile.TemporaryDirectory() as tmp:
        # wixl takes sources by relative paths only.
        os.symlink(os.path.abspath(program), os.path.join(tmp, "program"))
        os.symlink(os.path.abspath(examples), os.path.join(tmp, "examples"))
        text = ['<?xml version="1.0" encoding="utf-8"?>', '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">']
        groups = {}
        for group, directory, var, folder in (("ProgramFiles", "INSTALLDIR", "ProgramDir", program),
                                              ("FirstUseFiles", "PLIVANFOLDER", "ExamplesDir", examples)):
            frag, groups[group] = group_fragment(group, directory, var, files_under(folder), namespace)
            text += frag
        text.append("</Wix>")
        with open(os.path.join(tmp, "files.wxs"), "w", encoding="utf-8") as f:
            f.write("\n".join(text) + "\n")
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=" + version, "-D", "ProgramDir=program",
                        "-D", "ExamplesDir=examples", "-o", out, WXS, "files.wxs"], cwd=tmp, check=True)

        # The search for C:\Plivan\Plivan.txt: PLIVANTXT holds its path when it
        # exists. wixl writes the Signature and AppSearch tables empty, and no
        # DrLocator table.
        tables = subprocess.run(["msiinfo", "tables", out], check=True, capture_output=True, text=True).stdout
        if "DrLocator" not in tables.split():
            sql(out, "CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), "
                "`Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)")
        sql(out,
            "INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('PlivanTxt', 'Plivan.txt')",
            "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('PlivanTxt', 'C:\\Plivan', 0)",
            "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('%s', 'PlivanTxt')" % FOUND,
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('AppSearch', 50)",
            "INSERT INTO `InstallUISequence` (`Action`, `Sequence`) VALUES ('AppSearch', 50)")
        # Set by AppSearch in the client's sequence too: handed on to the
        # per-machine server side only as a secure property.
        secure = re.search(r"^SecureCustomProperties\t(.*)$", subprocess.run(
            ["msiinfo", "export", out, "Property"], check=True, capture_output=True, text=True).stdout, re.M)
        if secure:
            sql(out, "UPDATE `Property` SET `Value` = '%s;%s' WHERE `Property` = 'SecureCustomProperties'" %
                (secure.group(1).strip(), FOUND))
        else:
            sql(out, "INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', '%s')" % FOUND)
        for component in groups["FirstUseFiles"]:
            sql(out, "UPDATE `Component` SET `Attributes` = %d, `Condition` = 'NOT %s' WHERE `Component` = '%s'" %
                (WIN64 | PERMANENT | NEVER_OVERWRITE, FOUND, component))

        # A rebuilt MSI of the same version replaces the installed one too,
        # instead of adding a second entry: wixl's upgrade row stops short of
        # this version, so it is written again with VersionMaxInclusive (512)
        # beside MigrateFeatures (1). Attributes is part of the table's key.
        sql(out,
            "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
            "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
            "VALUES ('{%s}', '%s', 513, 'WIX_UPGRADE_DETECTED')" % (str(namespace).upper(), version))

        # Type 51 custom actions (a property set from a formatted text): the
        # Plivan folder is C:\Plivan before CostFinalize resolves the folders,
        # in both sequences; Apps & features names the folder the program went
        # to once CostFinalize has resolved it.
        sql(out,
            "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
            "VALUES ('SetPlivanFolder', 51, 'PLIVANFOLDER', 'C:\\Plivan\\')",
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('SetPlivanFolder', 999)",
            "INSERT INTO `InstallUISequence` (`Action`, `Sequence`) VALUES ('SetPlivanFolder', 999)",
            "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
            "VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLDIR]')",
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('SetInstallLocation', 1001)")

        # The icon of the Apps & features entry.
        idt = os.path.join(tmp, "idt")
        os.makedirs(os.path.join(idt, "Icon"))
        with open(os.path.join(idt, "Icon", "plivan.ico"), "wb") as f, open(icon, "rb") as src:
            f.write(src.read())
        with open(os.path.join(idt, "Icon.idt"), "w", encoding="ascii", newline="\r\n") as f:
            f.write("Name\tData\ns72\tv0\nIcon\tName\nplivan.ico\tplivan.ico\n")
        subprocess.run(["msibuild", out, "-i", "Icon.idt"], cwd=idt, check=True)
        sql(out, "INSERT INTO `Property` (`Property`, `Value`) VALUES ('ARPPRODUCTICON', 'plivan.ico')")


if __name__ == "__main__":
    main()
