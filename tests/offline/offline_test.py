#!/usr/bin/python3
"""verolund-offline end to end: each case makes a fixture installation, runs the program on it and
checks its exit status, what it said, the hive, the backup and the log it left.

    offline_test.py --program build/offline/verolund-offline [unittest options]
"""

import argparse
import os
import pty
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hivefixture  # noqa: E402

PROGRAM = None
CLASS = r'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}'
SERVICES = r'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services'
REFUSAL = 'This utility will run only in Windows 2000 and in Windows XP'
OLD_LOG = b'Operating System = Windows XP\r\nfrom an earlier run\r\n'


def machine(entries, services=('PartMgr',), class_key=True):
    """A SYSTEM fragment: these services, and an UpperFilters list of these entries."""
    lines = ['[%s\\%s]' % (SERVICES, name) for name in services]
    if class_key:
        quoted = ','.join('"%s"' % e.replace('\\', '\\\\').replace('"', '\\"') for e in entries)
        lines += ['[%s]' % CLASS, '"Class"="DiskDrive"']
        if entries is not None:
            lines.append('"UpperFilters"=multi:%s' % quoted)
    return '\n'.join(lines) + '\n'


def files_of(root):
    """Every file below root with its bytes."""
    found = {}
    for directory, _, names in os.walk(root):
        for name in names:
            path = os.path.join(directory, name)
            with open(path, 'rb') as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


def upper_filters(hive, control_set=1):
    """The raw UpperFilters bytes of a hive file, read with hivex's own tools, or None."""
    key = 'ControlSet%03d\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}' % control_set
    values = hivefixture.read_key(hive, key) or {}
    type_number, data = values.get('UpperFilters', (None, None))
    return data if type_number == 7 else None


def utf16_list(*entries):
    return ''.join(e + '\0' for e in entries).encode('utf-16-le') + b'\0\0'


def log_lines(*lines, codepage='cp1252'):
    return b''.join(line.encode(codepage) + b'\r\n' for line in lines)


def set_sequences(hive, first, second):
    """Rewrites a hive header's sequence numbers, with the checksum that goes with them."""
    with open(hive, 'r+b') as f:
        base = bytearray(f.read(4096))
        struct.pack_into('<II', base, 4, first, second)
        struct.pack_into('<I', base, 0x1FC, hivefixture.header_checksum(bytes(base)))
        f.seek(0)
        f.write(base)


class Offline(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='verolund-offline-')

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def install(self, fragment, **options):
        options.setdefault('drivers', ('PartMgr.sys',))
        folder = os.path.join(self.root, 'disk%d' % len(os.listdir(self.root)))
        return hivefixture.make_installation(folder, fragment, **options)

    def run_program(self, windows, *args, answer=None):
        """(exit status, stdout, stderr). With an answer, stdin is a terminal that types it."""
        if answer is None:
            done = subprocess.run([PROGRAM, *args, windows], stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=120)
            return done.returncode, done.stdout, done.stderr
        controller, terminal = pty.openpty()
        try:
            process = subprocess.Popen([PROGRAM, *args, windows], stdin=terminal,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            os.write(controller, answer.encode() + b'\n')
            out, err = process.communicate(timeout=120)
        finally:
            os.close(controller)
            os.close(terminal)
        return process.returncode, out, err

    def assertUntouched(self, before, root, why):
        self.assertEqual(files_of(root), before, why)

    # ----------------------------------------------------------------- what is repaired

    def test_repairs_and_keeps_the_original(self):
        inst = self.install(machine(['DiskGuard', 'OldSnap', 'Vol?Snap'],
                                    services=('PartMgr', 'DiskGuard')), old_log=OLD_LOG)
        original = open(inst.system_hive, 'rb').read()
        os.chmod(inst.system_hive, 0o640)
        status, out, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(status, 0, err)
        self.assertEqual(upper_filters(inst.system_hive), utf16_list('DiskGuard', 'PartMgr'))
        backup = inst.system_hive + '.verolund-1.bak'
        self.assertEqual(open(backup, 'rb').read(), original)
        self.assertEqual(os.stat(inst.system_hive).st_mode & 0o777, 0o640)
        self.assertEqual(open(inst.log, 'rb').read(), log_lines(
            'Operating System = Windows XP',
            'Before create PartMgr in UpperFilters values: DiskGuard|OldSnap|Vol?Snap',
            'After create PartMgr in UpperFilters values: DiskGuard|PartMgr'))
        self.assertIn('"DiskGuard" | "OldSnap" | "Vol?Snap"', out)
        self.assertIn('    After create PartMgr in UpperFilters values: DiskGuard|PartMgr', out)
        self.assertIn('start Windows', out)
        self.assertNotIn(os.path.basename(inst.system_hive) + '.verolund-new',
                         os.listdir(inst.config))

    def test_control_set(self):
        """Select\\Default names the set Windows starts with next, which need not be the first;
        --control-set picks another."""
        first = machine(['FirstSet'])
        second = machine(['SecondSet'])
        for name, args, repaired, kept in [
                ('Select\\Default', [], 2, 1),
                ('--control-set 1', ['--control-set', '1'], 1, 2)]:
            with self.subTest(name):
                inst = self.install(second, control_set=2, other_sets={1: first})
                status, out, err = self.run_program(inst.windows, '--yes', *args)
                self.assertEqual(status, 0, err)
                self.assertEqual(upper_filters(inst.system_hive, repaired), utf16_list('PartMgr'))
                self.assertEqual(upper_filters(inst.system_hive, kept),
                                 utf16_list('FirstSet' if kept == 1 else 'SecondSet'))
        inst = self.install(second)
        before = files_of(inst.root)
        status, _, err = self.run_program(inst.windows, '--yes', '--control-set', '7')
        self.assertEqual(status, 2)
        self.assertIn('ControlSet007', err)
        self.assertUntouched(before, inst.root, 'a missing control set')

    def test_code_page(self):
        """Names and lists come out in the installation's ANSI code page: a letter it holds is
        kept and logged in it, one it lacks comes out as ? and the entry is dropped."""
        fragment = machine(['Caf\u00e9', '\u0416uk'], services=('PartMgr', 'Caf\u00e9', '\u0416uk'))
        for acp, codepage, kept, shown in [
                ('1252', 'cp1252', ['Caf\u00e9'], 'Caf\u00e9|?uk'),
                ('1251', 'cp1251', ['\u0416uk'], 'Caf?|\u0416uk')]:
            with self.subTest(acp):
                inst = self.install(fragment, acp=acp, codepage='utf-8')
                status, out, err = self.run_program(inst.windows, '--yes')
                self.assertEqual(status, 0, err)
                self.assertEqual(upper_filters(inst.system_hive), utf16_list(*kept, 'PartMgr'))
                self.assertEqual(open(inst.log, 'rb').read(), log_lines(
                    'Operating System = Windows XP',
                    'Before create PartMgr in UpperFilters values: ' + shown,
                    'After create PartMgr in UpperFilters values: %s|PartMgr' % kept[0],
                    codepage=codepage))
                self.assertIn(shown, out, 'the terminal shows the log in UTF-8')
        inst = self.install(fragment, acp='932', codepage='utf-8')
        status, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(status, 2)
        self.assertIn('932', err)

    def test_names_are_found_ignoring_case(self):
        layout = hivefixture.Layout(windows='WINNT', system32='System32', config='CONFIG',
                                    drivers='Drivers', system='system', software='Software',
                                    temp='TEMP', log='VEROLUND.LOG')
        inst = self.install(machine(['Foo'], services=('partmgr', 'FOO')), layout=layout,
                            drivers=('partmgr.SYS',), old_log=OLD_LOG, current_version='5.0')
        status, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(status, 1, 'Windows 2000 without Diskperf.sys: ' + err)
        self.assertEqual(upper_filters(inst.system_hive), utf16_list('Foo', 'PartMgr'))
        self.assertEqual(open(inst.log, 'rb').read(), log_lines(
            'Operating System = Windows 2K',
            'Before create PartMgr in UpperFilters values: Foo',
            'After create PartMgr in UpperFilters values: Foo|PartMgr',
            'Fail - Missing Diskperf'))
        self.assertEqual(sorted(os.listdir(inst.temp)), ['VEROLUND.LOG'])

    def test_windows_version(self):
        """The SOFTWARE hive's CurrentVersion decides; --windows stands in only when it cannot
        be read; anything but 2000 and XP is refused with nothing touched."""
        ok = machine(['PartMgr'])
        for name, version, args, status, said in [
                ('XP', '5.1', [], 0, 'Windows XP'),
                ('Server 2003 counts as XP', '5.2', [], 0, 'repaired as XP'),
                ('NT 4 is refused', '4.0', [], 1, REFUSAL),
                ('Vista is refused', '6.0', [], 1, REFUSAL),
                ('no CurrentVersion and no --windows', None, [], 2, '--windows'),
                ('no CurrentVersion, --windows xp', None, ['--windows', 'xp'], 0, '--windows xp'),
                ('--windows against SOFTWARE', '5.1', ['--windows', '2000'], 2, 'leave --windows out')]:
            with self.subTest(name):
                inst = self.install(ok, current_version=version, old_log=OLD_LOG)
                before = files_of(inst.root)
                code, out, err = self.run_program(inst.windows, '--yes', *args)
                self.assertEqual(code, status, err)
                self.assertIn(said, out + err)
                if status != 0:
                    self.assertUntouched(before, inst.root, name)
        inst = self.install(ok)
        os.remove(inst.software_hive)
        code, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(code, 2)
        self.assertIn('missing', err)
        code, _, err = self.run_program(inst.windows, '--yes', '--windows', '2000')
        self.assertEqual(code, 1, 'Windows 2000 without Diskperf.sys: ' + err)

    # ----------------------------------------------------------------- what is not touched

    def test_dirty_hive_needs_force(self):
        inst = self.install(machine(['OldSnap']))
        set_sequences(inst.system_hive, 7, 6)
        before = files_of(inst.root)
        code, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(code, 2)
        self.assertIn('.LOG', err)
        self.assertUntouched(before, inst.root, 'a dirty hive without --force')
        code, _, err = self.run_program(inst.windows, '--yes', '--force')
        self.assertEqual(code, 0, err)
        self.assertEqual(upper_filters(inst.system_hive), utf16_list('PartMgr'))

    def test_unusable_hives(self):
        def cut(fraction, at_bin=False):
            def spoil(path):
                data = open(path, 'rb').read()
                end = int(len(data) * fraction)
                open(path, 'wb').write(data[:end - (end % 4096 if at_bin else 0)])
            return spoil

        def bad_checksum(path):
            with open(path, 'r+b') as f:
                f.seek(0x30)
                f.write(b'X')

        def no_bins(path):
            with open(path, 'r+b') as f:
                f.seek(4096)
                f.write(b'junk')

        cases = [
            ('cut to a third', cut(1 / 3), 'truncated'),
            # hivex itself opens this one without complaint.
            ('cut to a third at the end of a bin', cut(1 / 3, at_bin=True), 'truncated'),
            ('last bin cut off', cut(0.9), 'truncated'),
            ('cut inside the header', lambda p: cut(2000 / os.path.getsize(p))(p), 'too short'),
            ('header checksum wrong', bad_checksum, 'checksum'),
            ('hive bins overwritten', no_bins, 'corrupt'),
            ('a text file', lambda p: open(p, 'w').write('REGEDIT4\r\n'), 'not a registry hive'),
            ('empty', lambda p: open(p, 'w').close(), 'is empty'),
            ('a folder', lambda p: (os.remove(p), os.mkdir(p)), 'not a file'),
            ('missing', os.remove, 'no system32/config/SYSTEM'),
        ]
        # Enough services that a third of the hive is more than its header and first bin.
        services = ['Svc%03d' % n for n in range(300)]
        for name, spoil, said in cases:
            with self.subTest(name):
                inst = self.install(machine(['OldSnap'], services=services))
                spoil(inst.system_hive)
                before = files_of(inst.root)
                code, _, err = self.run_program(inst.windows, '--yes')
                self.assertEqual(code, 2, err)
                self.assertIn(said, err)
                self.assertUntouched(before, inst.root, name)
        code, _, err = self.run_program(os.path.join(self.root, 'nowhere'), '--yes')
        self.assertEqual(code, 2)
        self.assertIn('not a folder', err)

    def test_failed_write_leaves_the_original(self):
        """Something in the way of the new hive: nothing is replaced and no backup is left."""
        inst = self.install(machine(['OldSnap']), old_log=OLD_LOG)
        os.mkdir(inst.system_hive + '.verolund-new')
        before = files_of(inst.root)
        code, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(code, 3, err)
        self.assertIn('untouched', err)
        self.assertUntouched(before, inst.root, 'a failed write')

    def test_backups_are_numbered_and_never_overwritten(self):
        inst = self.install(machine(['OldSnap']))
        original = open(inst.system_hive, 'rb').read()
        open(inst.system_hive + '.verolund-1.bak', 'wb').write(b'an earlier backup')
        for _ in range(2):
            code, _, err = self.run_program(inst.windows, '--yes', '--control-set', '1')
            self.assertEqual(code, 0, err)
            hivefixture.fill_hive(inst.system_hive, '[%s]\n"UpperFilters"=multi:"OldSnap"\n'
                                  % CLASS.replace('CurrentControlSet', 'ControlSet001'),
                                  'HKEY_LOCAL_MACHINE\\SYSTEM')
        self.assertEqual(open(inst.system_hive + '.verolund-1.bak', 'rb').read(),
                         b'an earlier backup')
        self.assertEqual(open(inst.system_hive + '.verolund-2.bak', 'rb').read(), original)
        self.assertEqual(upper_filters(inst.system_hive + '.verolund-3.bak'),
                         utf16_list('OldSnap'), 'the hive as the second run found it')

    def test_dry_run_writes_nothing(self):
        inst = self.install(machine(['OldSnap']), old_log=OLD_LOG)
        before = files_of(inst.root)
        code, out, err = self.run_program(inst.windows, '--dry-run')
        self.assertEqual(code, 0, err)
        self.assertIn('"PartMgr"', out)
        self.assertIn('After create PartMgr in UpperFilters values: PartMgr', out)
        self.assertUntouched(before, inst.root, 'a dry run')
        inst = self.install(machine(['OldSnap']), drivers=())
        code, _, _ = self.run_program(inst.windows, '--dry-run')
        self.assertEqual(code, 1, 'a pass that would fail')

    def test_answers(self):
        for name, answer, code, written in [
                ('no terminal and no --yes', None, 2, False),
                ('No on the terminal', 'n', 2, False),
                ('nothing typed', '', 2, False),
                ('yes on the terminal', 'y', 0, True)]:
            with self.subTest(name):
                inst = self.install(machine(['OldSnap']), old_log=OLD_LOG)
                before = files_of(inst.root)
                status, out, err = self.run_program(inst.windows, answer=answer)
                self.assertEqual(status, code, err)
                if answer is not None:
                    self.assertIn('Write the repaired list? [y/N]', out)
                if written:
                    self.assertEqual(upper_filters(inst.system_hive), utf16_list('PartMgr'))
                else:
                    self.assertUntouched(before, inst.root, name)

    def test_failed_pass_exit_status_and_log(self):
        inst = self.install(machine(['OldSnap'], services=()), old_log=OLD_LOG)
        before = open(inst.system_hive, 'rb').read()
        code, _, err = self.run_program(inst.windows, '--yes')
        self.assertEqual(code, 1, err)
        self.assertEqual(open(inst.system_hive, 'rb').read(), before, 'nothing to write')
        self.assertEqual(open(inst.log, 'rb').read(), log_lines(
            'Operating System = Windows XP', 'Fail - Missing Service Key for PartMgr'))

    def test_arguments(self):
        for args, said in [([], 'missing'), (['--windows', '98', 'x'], '2000 or xp'),
                           (['--control-set', 'one', 'x'], '1 to 999'),
                           (['--bogus', 'x'], 'unknown option'), (['a', 'b'], 'one Windows folder')]:
            with self.subTest(' '.join(args)):
                done = subprocess.run([PROGRAM, *args], capture_output=True, text=True)
                self.assertEqual(done.returncode, 2)
                self.assertIn(said, done.stderr)
        done = subprocess.run([PROGRAM, '--help'], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0)
        for option in ('--dry-run', '--yes', '--windows', '--control-set', '--force'):
            self.assertIn(option, done.stdout)

    # ----------------------------------------------------------------- on a rescue system

    @unittest.skipUnless(os.geteuid() == 0, 'chroot needs root')
    def test_runs_in_an_empty_root(self):
        """A rescue system has none of the build machine's libraries or data files: inside an
        empty root holding only the program and the installation, it still finds every key."""
        inst = self.install(machine(['DiskGuard', 'OldSnap'], services=('PartMgr', 'DiskGuard')))
        shutil.copy(PROGRAM, os.path.join(inst.root, 'verolund-offline'))
        done = subprocess.run(['chroot', inst.root, '/verolund-offline', '--yes', '/WINDOWS'],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(upper_filters(inst.system_hive), utf16_list('DiskGuard', 'PartMgr'))


def main():
    global PROGRAM
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--program', required=True)
    options, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(options.program)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
