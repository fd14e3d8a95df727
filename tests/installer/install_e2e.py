#!/usr/bin/env python3
"""The Windows installers under Wine: msiexec installs, upgrades and removes
the per-user and the per-machine package in a fresh prefix, and
outlook-standin.exe loads the installed add-in the way Outlook does.

Usage: install_e2e.py --list | CASE WINE_RUN BIN_DIR WORK_DIR MSI MACHINE_MSI VERSION

VERSION is the version both packages were built for, X.Y.Z.

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
POLICY_KEY = r"HKEY_LOCAL_MACHINE\Software\Policies\Quillstow\Outlook"
ADDIN_SERVER = r"Classes\CLSID\{628C6F13-8970-48FA-93F4-6A9192E443FE}\InprocServer32"
LOADER = r"Microsoft\Office\Outlook\Addins\qsStow.Addin"
# The 64-bit and the 32-bit view of HKLM\Software, as a 64-bit program names them.
VIEWS = {True: r"HKEY_LOCAL_MACHINE\Software", False: r"HKEY_LOCAL_MACHINE\Software\Wow6432Node"}
# Given to the older version in the upgrade cases: a folder with % is REG_EXPAND_SZ.
PRESETS = {"ENABLEDIN": "0", "FOLDERIN": r"C:\Archive\In", "FOLDEROUT": r"\\server\archive\%USERNAME%\Out"}
SHORTCUT = "Quillstow for Outlook Configuration.lnk"
LOADER_VALUES = {"LoadBehavior": "dword:00000003", "FriendlyName": '"Quillstow for Outlook"',
                 "Description": '"Archives every sent and received message as an Outlook message file."'}


class Package:
    """One of the two packages: its build option, folder, and where its settings go."""

    def __init__(self, name, options, folder, settings_keys):
        self.name, self.options, self.folder, self.settings_keys = name, options, folder, settings_keys

    def msi(self, t):
        return t.machine_msi if self is MACHINE else t.msi

    def build(self, version, output):
        subprocess.run(["bash", os.path.join(ROOT, "installer", "build-msi"), *self.options,
                        "--version", version, "--output", output], check=True, capture_output=True)


USER = Package("per-user", [], r"C:\users\{user}\AppData\Local\Programs\Quillstow", [ADDIN_KEY])
MACHINE = Package("per-machine", ["--machine"], r"C:\Program Files\Quillstow",
                  [VIEWS[view] + r"\Quillstow\Outlook" for view in (True, False)])


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
        self.runs = 0
        self.machine_keys = None
        self.tables = {}

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
        done = self.wine("msiexec", action, windows_path(msi), "/qn", "/l*v", windows_path(log),
                         *properties, check=False)
        return done.rc

    def folder(self, package):
        return package.folder.format(user=self.user)

    def unix(self, windows):
        """The Linux path of a C: path in this prefix."""
        check(windows[:3].upper() == "C:\\", windows)
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def export(self, key):
        """The key's subtree as {(key path, value name or None for the key): data}."""
        return self.export_all([key])

    def export_all(self, keys):
        """The keys' subtrees, as export does."""
        outs = [os.path.join(self.dir, "export-%d.reg" % i) for i in range(len(keys))]
        for out in outs:
            if os.path.exists(out):
                os.remove(out)
        # One after another: regedits started together in one prefix now and then write
        # nothing at all, which reads as a key that is missing.
        for out, key in zip(outs, keys):
            subprocess.run([self.t.wine_run, "regedit", "/E", windows_path(out), key],
                           env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
        entries = {}
        for key, out in zip(keys, outs):
            if os.path.exists(out):
                entries.update(self.parse_export(key, out))
        return entries

    @staticmethod
    def parse_export(key, out):
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
        return self.export_all([CLASSES, ADDIN_KEY])

    def rows(self, msi):
        """The package's Registry table: (component, 64-bit, condition, root, key, name, value)."""
        if msi in self.tables:
            return self.tables[msi]
        out = self.wine("cscript", "//nologo", windows_path(os.path.join(ROOT, "tests", "installer",
                                                                      "registry_rows.vbs")),
                        windows_path(msi)).out
        self.tables[msi] = [(f[0], int(f[1]) & 256 != 0, f[2], int(f[3]), *f[4:]) for f in
                            (line.split("|") for line in out)]
        return self.tables[msi]

    def written(self, package):
        """Every entry below the keys the package writes, in both views."""
        if package is USER:
            return self.classes_and_loader()
        if self.machine_keys is None:
            self.machine_keys = sorted({VIEWS[view] + "\\" + owned_key(key) for view in VIEWS
                                        for (_, _, _, _, key, _, _) in self.rows(self.t.machine_msi)})
        return self.export_all(self.machine_keys)

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


def owned_key(key):
    """The key below Software whose whole subtree the package's row `key` belongs to: a class,
    interface or type library, a ProgID, Quillstow's own key, or else the row's key itself."""
    parts = key.split("\\")[1:]
    if parts[0] == "Classes":
        return "\\".join(parts[:3 if parts[1] in ("CLSID", "Interface", "TypeLib") else 2])
    return "Quillstow" if parts[0] == "Quillstow" else "\\".join(parts)


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


def expect_installed(p, package, version=None):
    """Files, shortcut, Outlook's loader values and one entry among installed programs; per
    machine, every row the package writes whatever its properties, in the view it names.
    Returns what the package's keys hold (Prefix.written)."""
    version = version or p.t.version
    folder = p.folder(package)
    for sub, machine in [("x86", 0x14C), ("x64", 0x8664)]:
        dll = p.unix(folder + "\\" + sub + "\\qsStow.dll")
        check(os.path.isfile(dll), "%s installed" % dll)
        check(pe_machine(dll) == machine, "%s is built for machine %#x" % (dll, machine))
    check(pe_machine(p.unix(folder + "\\qsStowConfig.exe")) == 0x14C, "qsStowConfig.exe (i686)")
    check(os.path.isfile(shortcut_path(p)), "Start-menu shortcut")
    written = p.written(package)
    if package is USER:
        for name, data in LOADER_VALUES.items():
            check(written.get((ADDIN_KEY, name)) == data, "%s in %r" % (name, written))
    else:
        expect_rows(written, [r for r in p.rows(package.msi(p.t)) if not r[2]],
                    {"X86DIR": folder + "\\x86\\", "X64DIR": folder + "\\x64\\"})
        # Whatever the package says: each build's class and the loader values in its view.
        lower = {(k.lower(), n): v for (k, n), v in written.items()}
        for win64, sub in [(True, "x64"), (False, "x86")]:
            values = {(VIEWS[win64] + "\\" + LOADER, name): data for name, data in LOADER_VALUES.items()}
            values[(VIEWS[win64] + "\\" + ADDIN_SERVER, "")] = reg_text(folder + "\\%s\\qsStow.dll" % sub)
            for (key, name), data in values.items():
                check(lower.get((key.lower(), name)) == data, "%s | %s = %s, not %s" % (
                    key, name, lower.get((key.lower(), name)), data))
    products = p.products()
    check(len(products) == 1, "one installed program: %r" % products)
    name, shown_version, publisher, uninstall = products[0]
    check(shown_version == '"%s"' % version and publisher == '"Ferrovale.Net"', products[0])
    check(re.fullmatch(r'expand:"MsiExec\.exe /X\{[0-9A-F-]{36}\}"', uninstall or ""), uninstall)
    return written


def expect_rows(entries, rows, properties):
    """Each row of the package's Registry table below HKLM is among the `entries`, in the view
    its component names, with its value formatted with `properties`."""
    written = {(k.lower(), n): v for (k, n), v in entries.items()}
    wrong = []
    for component, win64, _, root, key, name, value in rows:
        check(root == 2, "%s writes below HKEY_LOCAL_MACHINE: %s" % (component, key))
        text = re.sub(r"\[(\w+)\]", lambda m: properties[m.group(1)], value)
        data = ('expand:"%s"' % text[2:] if text.startswith("#%") else
                "dword:%08x" % int(text[1:]) if text.startswith("#") else reg_text(text))
        where = (VIEWS[win64] + key[len("Software"):]).lower()
        if written.get((where, name)) != data:
            wrong.append("%s: %s | %s = %s, not %s" % (component, where, name, written.get((where, name)),
                                                        data))
    check(not wrong, "rows not where the package says:\n  " + "\n  ".join(wrong))


def shortcut_path(p):
    # The per-machine package's shortcut too: Wine's ProgramMenuFolder is always the user's
    # Start menu (on Windows, with ALLUSERS=1, it is every user's).
    return os.path.join(p.path, "drive_c", "users", p.user, "AppData", "Roaming", "Microsoft",
                        "Windows", "Start Menu", "Programs", SHORTCUT)


def expect_removed(p, package, baseline, kept):
    """After msiexec /x: no program file, registry row or entry among installed programs is
    left; of what the package's keys hold, only `kept`."""
    folder = p.unix(p.folder(package))
    left = sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files) if os.path.isdir(folder) else []
    check(all(os.path.basename(f) == "qsStow.log" for f in left), "files left: %r" % left)
    check(left or not os.path.exists(folder), "the installation folder is removed")
    check(not os.path.exists(shortcut_path(p)), "shortcut removed")
    check(p.products() == [], "no installed program left")
    expect_entries(added(baseline, p.written(package)), kept,
                   "Entries left after uninstalling, and those to keep,")


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
        expect_removed(p, USER, baseline, {})

        x64 = p.folder(USER) + "\\x64"
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
        expected[(win32, "")] = reg_text(p.folder(USER) + "\\x86\\qsStow.dll")
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
        by_component = {}
        for component, win64, condition, root, key, name, value in p.rows(t.msi):
            check(root == 1, "every row below HKEY_CURRENT_USER: %s" % key)
            if not condition:  # the presets', checked by installing them
                by_component.setdefault((component, win64), set()).add((key, name, value))
        components = sorted(by_component)
        check(components == [("AddinLoader_user", True), ("AddinSharedClasses", True),
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


def archive_through_host(p, package, baseline):
    """Settings with two archive folders, then outlook-standin.exe with the add-ins that the
    Addins keys list, as Outlook loads them: the package's 64-bit DLL archives and logs.
    Returns the folders and the settings entries."""
    t = p.t
    folders = [os.path.join(p.dir, "Archive", sub) for sub in ("Sent", "Received")]
    for folder in folders:
        os.makedirs(folder)
    p.write_settings(folder_in=windows_path(folders[1]), folder_out=windows_path(folders[0]) + "\\")
    settings = settings_only(added(baseline, p.export(ADDIN_KEY)))
    check(len(settings) == 7, "five settings and CatchUp in the settings key: %r" % settings)
    p.wine("regsvr32", "/s", windows_path(os.path.join(t.bin, "qsMapiLib.dll")))

    done = t.host("send Quarterly figures: Q3/2026\nreceive Welcome aboard\n", addin=None,
                  env=p.env, folder=p.dir)
    e2e.expect_lines(done.out, e2e.transcript("saved Quarterly figures: Q3/2026", "sent",
                                              "saved Welcome aboard", "received"))
    sent, received = e2e.archived(folders[0]), e2e.archived(folders[1])
    e2e.names_match(sent, ["Quarterly figures Q32026"])
    e2e.names_match(received, ["Welcome aboard"])
    [(headers, _)] = e2e.read_messages([os.path.join(folders[0], sent[0])], p.dir)
    check(headers.get("Subject") == "Quarterly figures: Q3/2026", "msgconvert reads %r" % headers)
    log = e2e.log_lines(p.unix(p.folder(package) + "\\x64\\qsStow.log"))
    check(log and log[0] == e2e.LOADED, "the installed DLL's log %r" % log)
    return folders, settings


def case_archive(t):
    """Install per user, archive through the installed 64-bit add-in, uninstall."""
    p = Prefix(t, "archive")
    try:
        baseline_settings = p.export(ADDIN_KEY)
        baseline = p.classes_and_loader()
        check(p.msiexec("/i", t.msi) == 0, "install")
        expect_installed(p, USER)
        installed = added(baseline, p.export(CLASSES))
        check(installed, "classes written below HKEY_CURRENT_USER")
        check(baseline_settings == {}, "no settings key before installing")

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

        folders, settings = archive_through_host(p, USER, baseline)
        archives = [e2e.archived(folder) for folder in folders]

        check(p.msiexec("/x", t.msi) == 0, "uninstall")
        expect_removed(p, USER, baseline, settings)
        check([e2e.archived(folder) for folder in folders] == archives, "archive files kept")
    finally:
        p.stop()


def case_machine_archive(t):
    """An administrator's deployment: the per-machine package with presets and a policy, no
    user settings at all. The host finds the add-in through HKLM's Addins key alone, and it
    archives into the policy's folder and the preset default's, unless the user's LoadBehavior
    says otherwise; uninstall keeps the archives, the user's settings and the policy key."""
    p = Prefix(t, "machine-archive")
    try:
        baseline = p.written(MACHINE)
        baseline_user = p.classes_and_loader()
        sent_folder, received_folder = (os.path.join(p.dir, "Archive", sub)
                                        for sub in ("Sent", "Received"))
        for folder in (sent_folder, received_folder):
            os.makedirs(folder)
        policy = ["[%s]" % POLICY_KEY, '"FolderOut"=' + e2e.reg_text(windows_path(sent_folder))]
        e2e.import_registry(t.wine_run, os.path.join(p.dir, "policy.reg"), policy, env=p.env)
        policy_entries = p.export(POLICY_KEY)
        check((POLICY_KEY, "FolderOut") in policy_entries, "a policy %r" % policy_entries)
        check(p.msiexec("/i", t.machine_msi, "ENABLEDIN=1", "ENABLEDOUT=1", "LOGGING=1",
                        "FOLDERIN=" + windows_path(received_folder),
                        "FOLDEROUT=C:\\Overruled") == 0, "install")
        expect_installed(p, MACHINE)
        check(added(baseline_user, p.classes_and_loader()) == {}, "nothing written for the user")
        p.wine("regsvr32", "/s", windows_path(os.path.join(t.bin, "qsMapiLib.dll")))

        done = t.host("send Quarterly figures: Q3/2026\nreceive Welcome aboard\n", addin=None,
                      env=p.env, folder=p.dir)
        e2e.expect_lines(done.out, e2e.transcript("saved Quarterly figures: Q3/2026", "sent",
                                                  "saved Welcome aboard", "received"))
        e2e.names_match(e2e.archived(sent_folder), ["Quarterly figures Q32026"])
        e2e.names_match(e2e.archived(received_folder), ["Welcome aboard"])
        [(headers, _)] = e2e.read_messages(
            [os.path.join(sent_folder, e2e.archived(sent_folder)[0])], p.dir)
        check(headers.get("Subject") == "Quarterly figures: Q3/2026", "msgconvert reads %r" % headers)
        log = e2e.log_lines(p.unix(p.folder(MACHINE) + "\\x64\\qsStow.log"))
        check(log and log[0] == e2e.LOADED, "the installed DLL's log %r" % log)
        archives = [e2e.archived(folder) for folder in (sent_folder, received_folder)]

        # The user's own LoadBehavior wins over the machine's.
        p.wine("reg", "add", ADDIN_KEY, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "0", "/f")
        done = t.host("send Not archived\n", addin=None, env=p.env, folder=p.dir)
        e2e.expect_lines(done.out, ["sent"] + e2e.END)
        p.wine("reg", "delete", ADDIN_KEY, "/v", "LoadBehavior", "/f")
        p.wine("reg", "add", ADDIN_KEY, "/v", "Logging", "/t", "REG_DWORD", "/d", "0", "/f")
        settings = settings_only(added(baseline_user, p.classes_and_loader()))

        check(p.msiexec("/x", t.machine_msi) == 0, "uninstall")
        expect_removed(p, MACHINE, baseline, {})
        check(settings_only(added(baseline_user, p.classes_and_loader())) == settings,
              "the user's settings kept")
        check(p.export(POLICY_KEY) == policy_entries, "the policy key kept")
        check([e2e.archived(folder) for folder in (sent_folder, received_folder)] == archives,
              "archive files kept")
    finally:
        p.stop()


def upgrade(t, package):
    """From a lower version installed with PRESETS, over itself, a rebuild of itself given
    ENABLEDIN=1; never backwards. The settings the properties made outlive the upgrades
    either way; given again, a property replaces every user's default, never a user's value."""
    p = Prefix(t, package.name + "-upgrade")
    try:
        msi = package.msi(t)
        older = os.path.join(p.dir, "Quillstow-%s.msi" % OLDER)
        rebuilt = os.path.join(p.dir, "Quillstow-%s-rebuilt.msi" % t.version)
        for version, output in [(OLDER, older), (t.version, rebuilt)]:
            package.build(version, output)
        baseline = p.written(package)

        check(p.msiexec("/i", older, *("%s=%s" % kv for kv in PRESETS.items())) == 0, "install " + OLDER)
        installed = expect_installed(p, package, OLDER)
        preset = {"EnabledIn": "dword:00000000", "FolderIn": reg_text(PRESETS["FOLDERIN"]),
                  "FolderOut": 'expand:"%s"' % PRESETS["FOLDEROUT"]}
        for key in package.settings_keys:
            values = {n: v for (k, n), v in installed.items() if k.lower() == key.lower()
                      and n and n not in LOADER_VALUES}
            check(values == preset, "the presets in %s: %r" % (key, values))
        if package is USER:
            p.write_settings(enabled_in=0, folder_in=r"C:\Archive\In", folder_out=r"C:\Archive\Out",
                             logging=0)
            installed = p.written(package)
        registered = added(baseline, installed)

        check(p.msiexec("/i", msi) == 0, "upgrade to " + t.version)
        expect_entries(added(baseline, expect_installed(p, package)), registered,
                       "Entries after the upgrade and before it")

        check(p.msiexec("/i", msi) == 0, "install %s again" % t.version)
        expect_installed(p, package)
        check(p.msiexec("/i", rebuilt, "ENABLEDIN=1") == 0, "install a rebuild of " + t.version)
        if package is MACHINE:  # the defaults in both views, and the property remembered
            for (key, name) in registered:
                if name in ("EnabledIn", "ENABLEDIN"):
                    registered[(key, name)] = reg_text("1") if name.isupper() else "dword:00000001"
        expect_entries(added(baseline, expect_installed(p, package)), registered,
                       "Entries after a rebuild given ENABLEDIN=1 and before")

        check(p.msiexec("/i", older) != 0, "%s refuses to replace %s" % (OLDER, t.version))
        expect_installed(p, package)

        check(p.msiexec("/x", rebuilt) == 0, "uninstall")
        kept = {k: v for k, v in registered.items() if k[0].startswith(ADDIN_KEY)}
        expect_removed(p, package, baseline, settings_only(kept))
    finally:
        p.stop()


def case_upgrade(t):
    upgrade(t, USER)


def case_machine_upgrade(t):
    upgrade(t, MACHINE)


def case_presets(t):
    """A bad property stops either package before anything is written; per user, a value the
    user already has is kept, the others given are written, and all stay after uninstalling."""
    p = Prefix(t, "presets")
    try:
        baseline = {package: p.written(package) for package in (USER, MACHINE)}
        for package, bad in [(MACHINE, "ENABLEDIN=yes"), (USER, "LOGGING=2"),
                             (MACHINE, r"FOLDERIN=\\server\archive\[%USERNAME]\In")]:
            check(p.msiexec("/i", package.msi(t), bad, r"FOLDEROUT=C:\Archive") != 0,
                  "%s stops the %s package" % (bad, package.name))
            check(p.written(package) == baseline[package] and p.products() == []
                  and not os.path.exists(p.unix(p.folder(package))),
                  "nothing written by the %s package given %s" % (package.name, bad))

        own = {"EnabledIn": "dword:00000000", "FolderIn": reg_text(r"D:\Mine")}
        e2e.import_registry(t.wine_run, os.path.join(p.dir, "own.reg"), ["[%s]" % ADDIN_KEY] + [
            '"%s"=%s' % item for item in own.items()], env=p.env)
        check(p.msiexec("/i", t.msi, "ENABLEDIN=1", "ENABLEDOUT=1", r"FOLDERIN=C:\Given",
                        r"FOLDEROUT=%USERPROFILE%\Sent") == 0, "install")
        expected = dict(own, EnabledOut="dword:00000001", FolderOut='expand:"%USERPROFILE%\\Sent"')
        settings = settings_only(added(baseline[USER], p.export(ADDIN_KEY)))
        check({n: v for (_, n), v in settings.items() if n} == expected, "settings %r" % settings)

        check(p.msiexec("/x", t.msi) == 0, "uninstall")
        expect_removed(p, USER, baseline[USER], settings)
    finally:
        p.stop()


if __name__ == "__main__":
    e2e.main(globals(), more=("msi", "machine_msi", "version"))
