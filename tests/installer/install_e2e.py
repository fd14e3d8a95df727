#!/usr/bin/env python3
"""The Windows installer under Wine: msiexec installs, upgrades and removes
the package in a fresh prefix, and outlook-standin.exe loads the installed
add-in the way Outlook does.

Usage: install_e2e.py --list | CASE WINE_RUN BIN_DIR WORK_DIR MSI VERSION

VERSION is the package version MSI was built for, X.Y.Z.

Each case copies the ready prefix QS_WINEPREFIX (made by the CTest fixture)
to a prefix of its own under WORK_DIR, and ends that prefix's wineserver.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e  # noqa: E402
from e2e import SETTINGS_KEY as ADDIN_KEY, check, reg_text, windows_path  # noqa: E402

OLDER = "1.0.0"  # any version below the package's
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CLASSES = r"HKEY_CURRENT_USER\Software\Classes"
UNINSTALL = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALL_DIR = r"C:\users\{user}\AppData\Local\Programs\Quillstow"
SHORTCUT = "Quillstow for Outlook Configuration.lnk"
LOADER_VALUES = {"LoadBehavior": "dword:00000003", "FriendlyName": '"Quillstow for Outlook"',
                 "Description": '"Archives every sent and received message as an Outlook message file."'}


def copy_file(source, target):
    """Copies a prefix's file; Wine's own binaries, which nothing here writes,
    are linked instead, which makes a copy of the prefix ten times faster."""
    if re.search(r"/drive_c/windows/(system32|winsxs)/", source):
        os.link(source, target)
    else:
        shutil.copy2(source, target)


class Prefix:
    """A copy of the fixture's fresh prefix, for one case."""

    def __init__(self, t, name):
        self.t = t
        self.dir = e2e.fresh_folder(t.work, name)
        self.path = os.path.join(self.dir, "prefix")
        shutil.copytree(t.prefix(), self.path, symlinks=True, copy_function=copy_file)
        self.env = dict(os.environ, QS_WINEPREFIX=self.path)
        self.user = os.listdir(os.path.join(self.path, "drive_c", "users"))
        self.user = [u for u in self.user if u != "Public"][0]
        self.install_dir = INSTALL_DIR.format(user=self.user)
        self.runs = 0

    def stop(self):
        """Ends the prefix's server; the prefix is kept only when the case failed."""
        self.wine("--stop", check=False)
        if sys.exc_info()[0] is None:
            shutil.rmtree(self.path, ignore_errors=True)

    def wine(self, *args, **options):
        return self.t.wine(*args, env=self.env, **options)

    def msiexec(self, action, msi, *properties):
        self.runs += 1
        log = os.path.join(self.dir, "msiexec-%d.log" % self.runs)
        done = self.wine("msiexec", action, windows_path(msi), "/qn", "/l*", windows_path(log),
                         *properties, check=False)
        return done.rc

    def unix(self, windows):
        """The Linux path of a C: path in this prefix."""
        check(windows[:3].upper() == "C:\\", windows)
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def export(self, key):
        """The key's subtree as {(key path, value name or None for the key): data}."""
        out = os.path.join(self.dir, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        if self.wine("regedit", "/E", windows_path(out), key, check=False).rc != 0 \
                or not os.path.exists(out):
            return {}
        with open(out, encoding="utf-16") as f:
            text = f.read().replace("\\\r\n  ", "").replace("\\\n  ", "")
        entries, current = {}, None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1]
                entries[(current, None)] = ""
            elif current and line:
                m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
                check(m, "unexpected line in %s: %r" % (key, line))
                name = "" if m.group(1) == "@" else m.group(1)[1:-1]
                data = m.group(2)
                if data.startswith("hex(2):"):  # REG_EXPAND_SZ, shown here as its text
                    raw = bytes.fromhex(data[7:].replace(",", ""))
                    data = 'expand:"%s"' % raw.decode("utf-16-le").rstrip("\0")
                entries[(current, name)] = data
        return entries

    def classes_and_loader(self):
        return {**self.export(CLASSES), **self.export(ADDIN_KEY)}

    def products(self):
        """(DisplayName, DisplayVersion, Publisher, UninstallString) of Quillstow's entries."""
        found = []
        for (key, name), data in self.export(UNINSTALL).items():
            if name == "DisplayName" and data == '"Quillstow for Outlook"':
                entry = self.export(key)
                found.append(tuple(entry.get((key, n)) for n in
                                   ("DisplayName", "DisplayVersion", "Publisher", "UninstallString")))
        return found

    def write_settings(self, **values):
        """The five values as the configuration program writes them, into the existing key."""
        e2e.import_registry(self.t.wine_run, os.path.join(self.dir, "settings.reg"),
                            ["[%s]" % ADDIN_KEY] + e2e.settings_values(**values)[1:], self.env)


def added(before, after):
    return {k: v for k, v in after.items() if before.get(k) != v}


def dump(entries):
    return "\n    ".join("%s | %s = %s" % (k, n, v) for (k, n), v in sorted(entries.items(),
                                                                        key=lambda e: str(e[0])))


def expect_entries(actual, expected, what):
    if actual != expected:
        raise AssertionError("%s differ.\n  only in the first:\n    %s\n  only in the second:\n    %s"
                             % (what, dump({k: v for k, v in actual.items() if expected.get(k) != v}),
                                dump({k: v for k, v in expected.items() if actual.get(k) != v})))


def settings_only(entries):
    """The settings key's entries apart from the loader values."""
    return {k: v for k, v in entries.items() if k[1] not in LOADER_VALUES}


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    check(data[offset:offset + 4] == b"PE\0\0", "%s is no PE file" % path)
    return int.from_bytes(data[offset + 4:offset + 6], "little")


def expect_installed(p, version=None):
    """Files, shortcut, loader values and one entry among installed programs."""
    version = version or p.t.version
    for sub, machine in [("x86", 0x14C), ("x64", 0x8664)]:
        dll = p.unix(p.install_dir + "\\" + sub + "\\qsStow.dll")
        check(os.path.isfile(dll), "%s installed" % dll)
        check(pe_machine(dll) == machine, "%s is built for machine %#x" % (dll, machine))
    check(pe_machine(p.unix(p.install_dir + "\\qsStowConfig.exe")) == 0x14C, "qsStowConfig.exe (i686)")
    check(os.path.isfile(shortcut_path(p)), "Start-menu shortcut")
    loader = p.export(ADDIN_KEY)
    for name, data in LOADER_VALUES.items():
        check(loader.get((ADDIN_KEY, name)) == data, "%s in %r" % (name, loader))
    products = p.products()
    check(len(products) == 1, "one installed program: %r" % products)
    name, shown_version, publisher, uninstall = products[0]
    check(shown_version == '"%s"' % version and publisher == '"Ferrovale.Net"', products[0])
    check(re.fullmatch(r'expand:"MsiExec\.exe /X\{[0-9A-F-]{36}\}"', uninstall or ""), uninstall)


def shortcut_path(p):
    return os.path.join(p.path, "drive_c", "users", p.user, "AppData", "Roaming", "Microsoft",
                        "Windows", "Start Menu", "Programs", SHORTCUT)


def expect_removed(p, baseline, settings):
    """After msiexec /x: no program file, registration or loader value is left."""
    folder = p.unix(p.install_dir)
    left = sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files) if os.path.isdir(folder) else []
    check(all(os.path.basename(f) == "qsStow.log" for f in left), "files left: %r" % left)
    check(left or not os.path.exists(folder), "the installation folder is removed")
    check(not os.path.exists(shortcut_path(p)), "shortcut removed")
    check(p.products() == [], "no installed program left")
    expect_entries(added(baseline, p.classes_and_loader()), settings,
                   "Entries left after uninstalling, and the user's settings,")


# ---- cases ---------------------------------------------------------------------------------


def case_registration(t):
    """The package writes exactly the rows of the DLL's own per-user registration.

    The package is installed, then removed; then the installed 64-bit DLL is
    put back in its place and registered with regsvr32 /n /i:user. Both leave
    the same entries below HKCU\\Software\\Classes and in the settings key,
    except for two rows regsvr32 of the 64-bit DLL cannot write: the type
    library's win32 entry for the 32-bit DLL, and HELPDIR, which the package
    writes as a Windows Installer folder, with a trailing backslash.
    """
    p = Prefix(t, "registration")
    try:
        baseline = p.classes_and_loader()
        check(p.msiexec("/i", t.msi) == 0, "install")
        installed = added(baseline, p.classes_and_loader())
        check(p.msiexec("/x", t.msi) == 0, "uninstall")
        expect_removed(p, baseline, {})

        x64 = p.install_dir + "\\x64"
        os.makedirs(p.unix(x64))
        shutil.copy(os.path.join(t.bin, "qsStow.dll"), p.unix(x64 + "\\qsStow.dll"))
        p.wine("regsvr32", "/s", "/n", "/i:user", x64 + "\\qsStow.dll")
        registered = added(baseline, p.classes_and_loader())

        typelib = [k for (k, n) in registered if k.endswith("\\0\\win64") and n is None]
        check(len(typelib) == 1, "one win64 type-library key: %r" % typelib)
        win32 = typelib[0][:-len("win64")] + "win32"
        helpdir = typelib[0][:-len("\\0\\win64")] + "\\HELPDIR"
        check(registered.get((helpdir, "")) == reg_text(x64), "regsvr32's HELPDIR")
        expected = dict(registered)
        expected[(win32, None)] = ""
        expected[(win32, "")] = reg_text(p.install_dir + "\\x86\\qsStow.dll")
        expected[(helpdir, "")] = reg_text(x64 + "\\")
        expect_entries(installed, expected, "Entries the package wrote and the DLL's own")
        check(any("\\CLSID\\{" in k and "\\InprocServer32" in k for (k, n) in installed), installed)
    finally:
        p.stop()


def case_package_views(t):
    """Each build's class rows are meant for the registry view of its architecture.

    Wine keeps one HKCU\\Software\\Classes for both views (Windows keeps CLSID
    and Interface apart), so this reads the package's own tables: the 32-bit
    component's rows are the 64-bit component's with its own folder and
    win32, and only the 64-bit components carry the 64-bit attribute.
    """
    p = Prefix(t, "package-views")
    try:
        rows = p.wine("cscript", "//nologo", windows_path(os.path.join(ROOT, "tests", "installer",
                                                                       "registry_rows.vbs")),
                      windows_path(t.msi)).out
        by_component = {}
        for line in rows:
            component, attributes, root, key, name, value = line.split("|")
            check(root == "1", "every row below HKEY_CURRENT_USER: %r" % line)
            by_component.setdefault((component, int(attributes) & 256 != 0), set()).add(
                (key, name, value))
        components = sorted(by_component)
        check(components == [("AddinLoader", True), ("AddinSharedClasses", True),
                             ("Addin_x64", True), ("Addin_x86", False)], components)
        x64 = by_component[("Addin_x64", True)]
        x86 = by_component[("Addin_x86", False)]
        as_x86 = {(k.replace("\\0\\win64", "\\0\\win32"), n, v.replace("[X64DIR]", "[X86DIR]"))
                  for (k, n, v) in x64}
        check(x86 == as_x86, "32-bit rows %r\n  differ from the 64-bit ones %r" % (
            sorted(x86 ^ as_x86), sorted(x64)))
        check(any(v == "[X64DIR]qsStow.dll" for (_, _, v) in x64), "64-bit rows name the x64 folder")
        view_bound = [k for (k, _, _) in by_component[("AddinSharedClasses", True)]
                      if re.match(r"Software\\Classes\\(CLSID|Interface)\\", k)]
        check(view_bound == [], "shared rows hold no key of one view: %r" % view_bound)
    finally:
        p.stop()


def case_archive(t):
    """Install, archive through the installed 64-bit add-in, uninstall."""
    p = Prefix(t, "archive")
    try:
        baseline_settings = p.export(ADDIN_KEY)
        baseline = p.classes_and_loader()
        check(p.msiexec("/i", t.msi) == 0, "install")
        expect_installed(p)
        installed = added(baseline, p.export(CLASSES))
        check(installed, "classes written below HKEY_CURRENT_USER")
        check(baseline_settings == {}, "no settings key before installing")

        out_folder = os.path.join(p.dir, "Archive", "Sent")
        in_folder = os.path.join(p.dir, "Archive", "Received")
        os.makedirs(out_folder)
        os.makedirs(in_folder)
        p.write_settings(folder_in=windows_path(in_folder), folder_out=windows_path(out_folder) + "\\")
        settings = settings_only(added(baseline, p.export(ADDIN_KEY)))
        check(len(settings) == 7, "five settings and CatchUp in the settings key: %r" % settings)

        # Wine does not merge HKCU\Software\Classes into HKEY_CLASSES_ROOT (Wine
        # bug 14771), so a class registered per user is not found by ProgID
        # there, as it is on Windows. The host finds the add-in once the
        # installed rows are copied to HKLM\Software\Classes; the package itself
        # wrote them below HKEY_CURRENT_USER (checked above).
        lines = []
        for (key, name), data in sorted(installed.items(), key=lambda e: (e[0][0], e[0][1] or "")):
            machine_key = key.replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", 1)
            if name is None:
                lines += ["", "[%s]" % machine_key]
            else:
                lines.append("%s=%s" % ("@" if name == "" else '"%s"' % name, data))
        e2e.import_registry(t.wine_run, os.path.join(p.dir, "machine.reg"), lines, env=p.env)
        p.wine("regsvr32", "/s", windows_path(os.path.join(t.bin, "qsMapiLib.dll")))

        # Loaded as Outlook loads it: listed in the Addins key with LoadBehavior 3.
        done = t.host("send Quarterly figures: Q3/2026\nreceive Welcome aboard\n", addin=None,
                      env=p.env, folder=p.dir)
        e2e.expect_lines(done.out, e2e.transcript("saved Quarterly figures: Q3/2026", "sent",
                                                  "saved Welcome aboard", "received"))
        sent, received = e2e.archived(out_folder), e2e.archived(in_folder)
        e2e.names_match(sent, ["Quarterly figures Q32026"])
        e2e.names_match(received, ["Welcome aboard"])
        [(headers, _)] = e2e.read_messages([os.path.join(out_folder, sent[0])], p.dir)
        check(headers.get("Subject") == "Quarterly figures: Q3/2026", "msgconvert reads %r" % headers)
        log = e2e.log_lines(p.unix(p.install_dir + "\\x64\\qsStow.log"))
        check(log and log[0] == e2e.LOADED, "the installed DLL's log %r" % log)

        check(p.msiexec("/x", t.msi) == 0, "uninstall")
        expect_removed(p, baseline, settings)
        check(e2e.archived(out_folder) == sent and e2e.archived(in_folder) == received,
              "archive files kept")
    finally:
        p.stop()


def case_upgrade(t):
    """From a lower version, over itself, a rebuild of itself; never backwards."""
    p = Prefix(t, "upgrade")
    try:
        older = os.path.join(p.dir, "Quillstow-%s.msi" % OLDER)
        rebuilt = os.path.join(p.dir, "Quillstow-%s-rebuilt.msi" % t.version)
        for version, output in [(OLDER, older), (t.version, rebuilt)]:
            subprocess.run(["bash", os.path.join(ROOT, "installer", "build-msi"), "--version", version,
                            "--output", output], check=True, capture_output=True)
        baseline = p.classes_and_loader()

        check(p.msiexec("/i", older) == 0, "install " + OLDER)
        expect_installed(p, OLDER)
        p.write_settings(folder_in=r"C:\Archive\In", folder_out=r"C:\Archive\Out", logging=0)
        settings = settings_only(added(baseline, p.export(ADDIN_KEY)))
        registered = added(baseline, p.classes_and_loader())

        check(p.msiexec("/i", t.msi) == 0, "upgrade to " + t.version)
        expect_installed(p)
        expect_entries(added(baseline, p.classes_and_loader()), registered,
                       "Entries after the upgrade and before it")

        check(p.msiexec("/i", t.msi) == 0, "install %s again" % t.version)
        expect_installed(p)
        check(p.msiexec("/i", rebuilt) == 0, "install a rebuild of " + t.version)
        expect_installed(p)

        check(p.msiexec("/i", older) != 0, "%s refuses to replace %s" % (OLDER, t.version))
        expect_installed(p)

        check(p.msiexec("/x", rebuilt) == 0, "uninstall")
        expect_removed(p, baseline, settings)
    finally:
        p.stop()


if __name__ == "__main__":
    e2e.main(globals(), more=("msi", "version"))
