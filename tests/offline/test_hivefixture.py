"""Tests of the hive fixtures, read back through the hivex tools (hivexsh, hivexregedit --export),
never through the module's own code: a fixture that only agrees with itself proves nothing.

Run: python3 -m unittest discover -s tests/offline  (or python3 tests/offline/test_hivefixture.py)
"""

import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import hivefixture as hf  # noqa: E402

SYSTEM = 'HKEY_LOCAL_MACHINE\\SYSTEM'
CLASS_PATH = 'Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}'
CCS_CLASS = SYSTEM + '\\CurrentControlSet\\' + CLASS_PATH


# ------------------------------------------------------------------ reading hives with hivex

def hivexsh(hive, commands, write=False):
    """hivexsh's output for these commands; a failed command raises."""
    args = ['hivexsh'] + (['-w'] if write else []) + [hive]
    result = subprocess.run(args, input=('\n'.join(commands) + '\n').encode('utf-8'),
                            capture_output=True)
    if result.returncode != 0:
        raise AssertionError('hivexsh %s: %s' % (commands,
                                                 result.stderr.decode('utf-8', 'replace')))
    return result.stdout.decode('utf-8')


def subkeys(hive, path=''):
    commands = (['cd ' + path] if path else []) + ['ls']
    return hivexsh(hive, commands).splitlines()


def has_key(hive, path):
    result = subprocess.run(['hivexsh', hive], input=('cd %s\n' % path).encode('utf-8'),
                            capture_output=True)
    return result.returncode == 0


def hivex_debug(hive):
    """What hivex reports while opening the hive: the header check and every cell it walks."""
    return subprocess.run(['hivexsh', '-d', hive], input=b'', capture_output=True,
                          check=True).stderr.decode('utf-8', 'replace')


_EXPORT_VALUE = re.compile(
    rb'^(@|"((?:[^"\\]|\\.)*)")=(?:dword:([0-9a-f]{8})|hex\(([0-9a-f]+)\):([0-9a-f,]*))$')


def _export_name(raw):
    """hivexregedit prints 8-bit names as Latin-1 bytes and others as UTF-8."""
    try:
        return raw.decode('utf-8')
    except UnicodeDecodeError:
        return raw.decode('latin-1')


def export(hive, path='\\'):
    """{KEY PATH IN UPPER CASE (no leading backslash): {value name: (type, bytes)}} of the key
    and all below it, from hivexregedit --export, which writes every non-dword value as hex."""
    out = subprocess.run(['hivexregedit', '--export', hive, path], capture_output=True,
                         check=True).stdout
    keys, values = {}, None
    for line in out.splitlines():
        if line.startswith(b'[') and line.endswith(b']'):
            values = keys.setdefault(_export_name(line[1:-1]).strip('\\').upper(), {})
            continue
        match = _EXPORT_VALUE.match(line)
        if match:
            name = '' if match.group(1) == b'@' else re.sub(
                r'\\(.)', r'\1', _export_name(match.group(2)))
            if match.group(3) is not None:
                values[name] = (4, int(match.group(3), 16).to_bytes(4, 'little'))
            else:
                values[name] = (int(match.group(4), 16), bytes.fromhex(
                    match.group(5).decode('ascii').replace(',', '')))
    return keys


def values_of(hive, path):
    return export(hive, path)[path.upper()]


def wide(text):
    """The UTF-16LE bytes of 8-bit text whose code points are its bytes (ASCII and Latin-1 as
    cp1252 has them): each byte followed by a zero byte."""
    return bytes(b for ch in text for b in (ord(ch), 0))


def regedit4(*lines):
    """A REGEDIT4 text in cp1252 bytes, as the Wine lab writes one."""
    return ('REGEDIT4\r\n\r\n' + '\r\n'.join(lines) + '\r\n').encode('cp1252')


def hex_data(raw):
    return ','.join('%02x' % b for b in raw)


class TempDirTest(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix='hivefixture-')
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def path(self, *names):
        return os.path.join(self.dir, *names)


# ------------------------------------------------------------------ the empty hive

def independent_checksum(header):
    value = 0
    for offset in range(0, 0x1FC, 4):
        value ^= int.from_bytes(header[offset:offset + 4], 'little')
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(value, value)


class MinimalHiveTest(TempDirTest):
    def setUp(self):
        super().setUp()
        self.hive = hf.minimal_hive(self.path('SYSTEM'))
        with open(self.hive, 'rb') as f:
            self.data = f.read()

    def test_base_block_is_a_cleanly_written_xp_hive(self):
        fields = struct.unpack_from('<4sIIQIIIIIII', self.data, 0)
        signature, seq1, seq2, stamp, major, minor, kind, form, root, bins, cluster = fields
        self.assertEqual(len(self.data), 8192)
        self.assertEqual(signature, b'regf')
        self.assertEqual(seq1, seq2)
        self.assertEqual((major, minor, kind, form, cluster), (1, 5, 0, 1, 1))
        self.assertEqual(stamp, 128532096000000000)  # 2008-04-21 00:00 UTC
        self.assertEqual(bins, len(self.data) - 4096)
        self.assertEqual(self.data[4096:4100], b'hbin')
        self.assertEqual(self.data[4096 + root + 4:4096 + root + 6], b'nk')
        name = self.data[0x30:0x70].decode('utf-16-le').rstrip('\0')
        self.assertEqual(name, '\\SystemRoot\\System32\\Config\\SYSTEM'[-31:])

    def test_checksum_is_the_xor_of_the_first_508_bytes_and_hivex_agrees(self):
        stored = struct.unpack_from('<I', self.data, 0x1FC)[0]
        self.assertEqual(stored, independent_checksum(self.data))
        match = re.search(r'checksum +0x([0-9a-f]+) \(calculated 0x([0-9a-f]+)\)',
                          hivex_debug(self.hive))
        self.assertEqual(int(match.group(1), 16), stored)
        self.assertEqual(int(match.group(2), 16), stored)

    def test_cells_are_aligned_and_fill_the_bin(self):
        cells = re.findall(r'(used|free) block id \d+,\d+ \((..)\) at 0x([0-9a-f]+) size (\d+)'
                           r'( \(root\))?', hivex_debug(self.hive))
        self.assertEqual([(c[0], c[1], c[4]) for c in cells],
                         [('used', 'nk', ' (root)'), ('used', 'sk', ''), ('free', '..', '')])
        offset = 0x1020
        for _, _, at, size, _ in cells:
            self.assertEqual(int(at, 16), offset)
            self.assertEqual(int(size) % 8, 0)
            offset += int(size)
        self.assertEqual(offset, 0x2000)

    def test_root_points_at_a_security_cell_with_a_valid_descriptor(self):
        root = struct.unpack_from('<I', self.data, 0x24)[0]
        sk = struct.unpack_from('<I', self.data, 4096 + root + 4 + 0x2C)[0]
        cell = self.data[4096 + sk:]
        self.assertLess(struct.unpack_from('<i', cell, 0)[0], 0)
        signature, _, flink, blink, refs, length = struct.unpack_from('<2sHIIII', cell, 4)
        self.assertEqual((signature, flink, blink, refs), (b'sk', sk, sk, 1))
        descriptor = cell[24:24 + length]
        revision, _, control, owner, group, sacl, dacl = struct.unpack_from('<BBHIIII',
                                                                            descriptor)
        self.assertEqual(revision, 1)
        self.assertTrue(control & 0x8000 and control & 0x0004)  # self-relative, DACL present
        self.assertEqual(descriptor[owner:owner + 16], bytes.fromhex('0102000000000005'
                                                                     '2000000020020000'))
        self.assertEqual(descriptor[group:group + 12], bytes.fromhex('010100000000000512000000'))
        acl_revision, _, acl_size, aces = struct.unpack_from('<BBHH', descriptor, dacl)
        self.assertEqual((acl_revision, aces, dacl + acl_size), (2, 3, length))

    def test_hivex_adds_keys_and_values_commits_and_reopens(self):
        hivexsh(self.hive, ['add Foo', 'cd Foo', 'add Bar', 'setval 2', 'Text', 'string:abc',
                            'Number', 'dword:0x12345678', 'cd ..', 'add Zed', 'commit'],
                write=True)
        hf.fill_hive(self.hive, regedit4('[%s\\Foo\\Bar\\Deep]' % SYSTEM, '"x"=dword:00000007'),
                     SYSTEM)
        self.assertEqual(subkeys(self.hive), ['Foo', 'Zed'])
        self.assertEqual(subkeys(self.hive, 'Foo'), ['Bar'])
        self.assertEqual(values_of(self.hive, 'Foo'), {'Text': (1, wide('abc\0')),
                                                        'Number': (4, bytes.fromhex('78563412'))})
        self.assertEqual(values_of(self.hive, 'Foo\\Bar\\Deep'), {'x': (4, bytes([7, 0, 0, 0]))})
        with open(self.hive, 'rb') as f:
            committed = f.read()
        self.assertEqual(struct.unpack_from('<I', committed, 0x1FC)[0],
                         independent_checksum(committed))

    def test_same_bytes_every_time(self):
        os.mkdir(self.path('again'))
        with open(hf.minimal_hive(self.path('again', 'SYSTEM')), 'rb') as f:
            self.assertEqual(f.read(), self.data)


# ------------------------------------------------------------------ filling from REGEDIT4 text

MULTI_SHAPES = [  # (name, the ANSI bytes as a .reg file holds them)
    ('typical', 'Foo\0PartMgr\0\0'),
    ('filter alone', 'PartMgr\0\0'),
    ('empty list', '\0\0'),
    ('single zero', '\0'),
    ('no bytes', ''),
    ('single terminator', 'Foo\0'),
    ('no terminator', 'Foo'),
    ('empty entry inside', 'Foo\0\0Bar\0\0'),
    ('accented cp1252 letter', 'Caf\xe9\0\0'),
]


class FillHiveTest(TempDirTest):
    def setUp(self):
        super().setUp()
        self.hive = hf.minimal_hive(self.path('SYSTEM'))

    def fill(self, *lines, codepage='cp1252'):
        hf.fill_hive(self.hive, ('REGEDIT4\r\n\r\n' + '\r\n'.join(lines) + '\r\n').encode(
            codepage), SYSTEM, codepage)

    def test_multi_string_shapes_become_exactly_their_utf16(self):
        lines = ['[%s\\Shapes]' % SYSTEM] + ['"%s"=hex(7):%s' % (name, hex_data(
            shape.encode('cp1252'))) for name, shape in MULTI_SHAPES]
        self.fill(*lines)
        stored = values_of(self.hive, 'Shapes')
        for name, shape in MULTI_SHAPES:
            with self.subTest(name):
                self.assertEqual(stored[name], (7, wide(shape)))
                self.assertEqual(len(stored[name][1]), 2 * len(shape))
        self.assertEqual(stored['accented cp1252 letter'][1], b'C\0a\0f\0\xe9\0\0\0\0\0')

    def test_readable_and_quoted_strings(self):
        self.fill('[%s\\Strings]' % SYSTEM,
                  '"Multi"=multi:"Foo","Part\\"Mgr"',
                  '"Quoted"="C:\\\\WINDOWS\\\\ Caf\xe9"',
                  '@="Disk drives"',
                  '"Expand"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,00',
                  '"Sz unterminated"=hex(1):41,42')
        self.assertEqual(values_of(self.hive, 'Strings'), {
            'Multi': (7, wide('Foo\0Part"Mgr\0\0')),
            'Quoted': (1, wide('C:\\WINDOWS\\ Caf\xe9\0')),
            '': (1, wide('Disk drives\0')),
            'Expand': (2, wide('%SystemRoot%\0')),
            'Sz unterminated': (1, wide('AB'))})

    def test_other_types_are_stored_as_given(self):
        self.fill('[%s\\Types]' % SYSTEM,
                  '"Dword"=dword:0000abcd',
                  '"Binary"=hex:00,ff,10',
                  '"Qword"=hex(b):01,02,03,04,05,06,07,08',
                  '"None"=hex(0):',
                  '"Short dword"=hex(4):01,02,03',
                  '"Long"=hex(3):01,02,\\',
                  '  03,04')
        self.assertEqual(values_of(self.hive, 'Types'), {
            'Dword': (4, bytes.fromhex('cdab0000')), 'Binary': (3, bytes.fromhex('00ff10')),
            'Qword': (11, bytes(range(1, 9))), 'None': (0, b''),
            'Short dword': (4, bytes.fromhex('010203')), 'Long': (3, bytes.fromhex('01020304'))})

    def test_string_data_is_decoded_in_the_given_code_page(self):
        self.fill('[%s\\Cyrillic]' % SYSTEM, '"List"=hex(7):%s' % hex_data(
            'Пм\0\0'.encode('cp1251')), codepage='cp1251')
        self.assertEqual(values_of(self.hive, 'Cyrillic')['List'],
                         (7, 'Пм\0\0'.encode('utf-16-le')))
        self.fill('[%s\\Euro]' % SYSTEM, '"Sign"=hex(1):80,00')
        self.assertEqual(values_of(self.hive, 'Euro')['Sign'], (1, b'\xac\x20\0\0'))

    def test_key_and_value_names_are_decoded_from_the_code_page(self):
        self.fill('[%s\\Caf\xe9]' % SYSTEM, '"N\xe4me"=dword:00000001')
        self.assertEqual(subkeys(self.hive), ['Café'])
        self.assertEqual(hivexsh(self.hive, ['cd Café', 'lsval']).strip(),
                         '"Näme"=dword:00000001')

    def test_missing_parents_are_made(self):
        self.fill('[%s\\A\\B\\C\\D]' % SYSTEM, '"x"=dword:00000001')
        self.assertEqual(subkeys(self.hive, 'A\\B\\C'), ['D'])

    def test_deleting_keys_and_values(self):
        self.fill('[%s\\A]' % SYSTEM, '"keep"=dword:00000001', '"drop"=dword:00000002', '',
                  '[%s\\A\\B\\C]' % SYSTEM, '"x"=dword:00000003', '',
                  '[%s\\A\\Other]' % SYSTEM)
        self.fill('[-%s\\A\\B]' % SYSTEM, '', '[%s\\A]' % SYSTEM, '"drop"=-', '"new"="n"', '',
                  '[-%s\\Never\\There]' % SYSTEM)
        self.assertEqual(subkeys(self.hive, 'A'), ['Other'])
        self.assertFalse(has_key(self.hive, 'A\\B'))
        self.assertEqual(values_of(self.hive, 'A'), {'keep': (4, bytes([1, 0, 0, 0])),
                                                      'new': (1, wide('n\0'))})

    def test_a_deleted_key_can_be_made_again(self):
        self.fill('[%s\\A\\B]' % SYSTEM, '"old"=dword:00000001', '', '[-%s\\A]' % SYSTEM, '',
                  '[%s\\A\\B]' % SYSTEM, '"new"=dword:00000002')
        self.assertEqual(values_of(self.hive, 'A\\B'), {'new': (4, bytes([2, 0, 0, 0]))})

    def test_the_last_line_for_a_name_wins(self):
        self.fill('[%s\\A]' % SYSTEM, '"v"=dword:00000001', '"V"=dword:00000002')
        self.assertEqual(values_of(self.hive, 'A'), {'V': (4, bytes([2, 0, 0, 0]))})

    def test_what_cannot_be_written_is_refused(self):
        cases = [
            ('outside the hive', ['[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]']),
            ('prefix only as text', ['[%sX\\A]' % SYSTEM]),
            ('deleting the root', ['[-%s]' % SYSTEM]),
            ('empty name in path', ['[%s\\A\\\\B]' % SYSTEM]),
            ('bad hex', ['[%s\\A]' % SYSTEM, '"x"=hex:0g']),
            ('unknown data', ['[%s\\A]' % SYSTEM, '"x"=word:1']),
            ('value outside a key', ['"x"=dword:00000001']),
        ]
        for name, lines in cases:
            with self.subTest(name), self.assertRaises(hf.FixtureError):
                self.fill(*lines)
        with self.assertRaises(hf.FixtureError):
            hf.fill_hive(self.hive, 'Windows Registry Editor Version 5.00\r\n', SYSTEM)
        self.assertEqual(subkeys(self.hive), [])


# ------------------------------------------------------------------ SYSTEM and SOFTWARE

class SystemHiveTest(TempDirTest):
    def setUp(self):
        super().setUp()
        self.hive = self.path('SYSTEM')

    def select(self):
        return {name: int.from_bytes(data, 'little')
                for name, (_, data) in values_of(self.hive, 'Select').items()}

    def test_fragment_lands_in_the_chosen_set_and_select_names_it(self):
        hf.system_hive(self.hive, regedit4('[%s]' % CCS_CLASS, '"UpperFilters"=multi:"PartMgr"'),
                       control_set=2)
        self.assertEqual(subkeys(self.hive), ['ControlSet002', 'Select'])
        self.assertEqual(values_of(self.hive, 'ControlSet002\\' + CLASS_PATH),
                         {'UpperFilters': (7, wide('PartMgr\0\0'))})
        self.assertEqual(self.select(), {'Current': 2, 'Default': 2, 'LastKnownGood': 2,
                                         'Failed': 0})
        self.assertEqual(values_of(self.hive, 'ControlSet002\\Control\\Nls\\CodePage'),
                         {'ACP': (1, wide('1252\0'))})

    def test_select_may_name_another_set_than_the_fragment(self):
        hf.system_hive(self.hive, '', control_set=2, select_default=1, acp='1250')
        self.assertEqual(self.select()['Default'], 1)
        self.assertEqual(self.select()['Current'], 1)
        self.assertEqual(values_of(self.hive, 'ControlSet002\\Control\\Nls\\CodePage'),
                         {'ACP': (1, wide('1250\0'))})

    def test_other_sets_have_their_own_fragments(self):
        fragment = regedit4('[%s]' % CCS_CLASS, '"UpperFilters"=multi:"Foo","PartMgr"')
        hf.system_hive(self.hive, fragment, control_set=1, other_sets={
            2: regedit4('[%s]' % CCS_CLASS, '"UpperFilters"=multi:"Old"'),
            3: regedit4('[%s\\Services\\Stale]' % CCS_CLASS.rsplit('\\Control', 1)[0])})
        self.assertEqual(subkeys(self.hive),
                         ['ControlSet001', 'ControlSet002', 'ControlSet003', 'Select'])
        self.assertEqual(values_of(self.hive, 'ControlSet001\\' + CLASS_PATH)['UpperFilters'],
                         (7, wide('Foo\0PartMgr\0\0')))
        self.assertEqual(values_of(self.hive, 'ControlSet002\\' + CLASS_PATH)['UpperFilters'],
                         (7, wide('Old\0\0')))
        self.assertEqual(subkeys(self.hive, 'ControlSet003\\Services'), ['Stale'])
        self.assertEqual(self.select()['Default'], 1)
        for number in (1, 2, 3):
            self.assertEqual(values_of(self.hive, 'ControlSet%03d\\Control\\Nls\\CodePage'
                                       % number)['ACP'], (1, wide('1252\0')))

    def test_fragment_may_change_what_the_layout_writes(self):
        hf.system_hive(self.hive, regedit4(
            '[%s\\CurrentControlSet\\Control\\Nls\\CodePage]' % SYSTEM, '"ACP"=-', '',
            '[%s\\Select]' % SYSTEM, '"Default"=dword:00000007', '',
            '[%s\\MountedDevices]' % SYSTEM))
        self.assertEqual(values_of(self.hive, 'ControlSet001\\Control\\Nls\\CodePage'), {})
        self.assertEqual(self.select()['Default'], 7)
        self.assertEqual(subkeys(self.hive), ['ControlSet001', 'MountedDevices', 'Select'])

    def test_keys_outside_system_are_refused(self):
        with self.assertRaises(hf.FixtureError):
            hf.system_hive(self.hive, regedit4('[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo]'))


class SoftwareHiveTest(TempDirTest):
    KEY = 'Microsoft\\Windows NT\\CurrentVersion'

    def test_version_values(self):
        hive = hf.software_hive(self.path('SOFTWARE'), '5.0', 'D:\\WINNT')
        self.assertEqual(values_of(hive, self.KEY), {
            'CurrentVersion': (1, wide('5.0\0')), 'SystemRoot': (1, wide('D:\\WINNT\0')),
            'ProductName': (1, wide('Microsoft Windows 2000\0'))})

    def test_none_leaves_a_value_out(self):
        hive = hf.software_hive(self.path('SOFTWARE'), None, None)
        self.assertEqual(values_of(hive, self.KEY), {})


# ------------------------------------------------------------------ installations

class InstallationTest(TempDirTest):
    def test_folders_and_files_spelled_as_asked(self):
        layout = hf.Layout(windows='WINNT', system32='System32', config='CONFIG',
                           drivers='Drivers', system='system', software='software',
                           temp='TEMP', log='VEROLUND.LOG')
        made = hf.make_installation(
            self.dir, regedit4('[%s\\CurrentControlSet\\Services\\PartMgr]' % SYSTEM),
            layout=layout, drivers=('partmgr.sys', 'DISKPERF.SYS'), old_log=b'old\r\n',
            current_version='5.0', control_set=2)
        self.assertEqual(os.listdir(self.dir), ['WINNT'])
        self.assertEqual(sorted(os.listdir(made.windows)), ['System32', 'TEMP'])
        self.assertEqual(sorted(os.listdir(made.system32)), ['CONFIG', 'Drivers'])
        self.assertEqual(sorted(os.listdir(made.config)), ['software', 'system'])
        self.assertEqual(sorted(os.listdir(made.drivers_dir)), ['DISKPERF.SYS', 'partmgr.sys'])
        self.assertEqual(made.system_hive, self.path('WINNT', 'System32', 'CONFIG', 'system'))
        self.assertEqual(made.log, self.path('WINNT', 'TEMP', 'VEROLUND.LOG'))
        with open(made.log, 'rb') as f:
            self.assertEqual(f.read(), b'old\r\n')
        for path in made.drivers.values():
            self.assertGreater(os.path.getsize(path), 0)
        self.assertEqual(subkeys(made.system_hive, 'ControlSet002\\Services'), ['PartMgr'])
        self.assertEqual(values_of(made.software_hive, 'Microsoft\\Windows NT\\CurrentVersion')
                         ['SystemRoot'], (1, wide('C:\\WINNT\0')))

    def test_without_temp_folder_or_drivers(self):
        made = hf.make_installation(self.dir, layout=hf.Layout(temp=None), drivers=())
        self.assertEqual(sorted(os.listdir(made.windows)), ['system32'])
        self.assertEqual(os.listdir(made.drivers_dir), [])
        self.assertIsNone(made.temp)
        self.assertIsNone(made.log)
        with self.assertRaises(hf.FixtureError):
            hf.make_installation(self.path('other'), layout=hf.Layout(temp=None), old_log=b'x')

    def test_default_layout_has_no_log_until_asked(self):
        made = hf.make_installation(self.dir)
        self.assertTrue(os.path.isdir(made.temp))
        self.assertFalse(os.path.exists(made.log))
        self.assertEqual(sorted(made.drivers), ['Diskperf.sys', 'PartMgr.sys'])


# ------------------------------------------------------------------ the hive of realistic size

class RealisticHiveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._dir = tempfile.TemporaryDirectory(prefix='hivefixture-')
        cls.hive = os.path.join(cls._dir.name, 'SYSTEM')
        started = time.monotonic()
        hf.realistic_system_hive(cls.hive)
        print('\nrealistic SYSTEM hive: %d bytes in %.1f s' % (
            os.path.getsize(cls.hive), time.monotonic() - started), file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        cls._dir.cleanup()

    def test_size_of_a_real_machine(self):
        self.assertGreater(os.path.getsize(self.hive), 11_000_000)
        self.assertLess(os.path.getsize(self.hive), 13_500_000)

    def test_services_in_both_control_sets(self):
        for number in (1, 2):
            names = subkeys(self.hive, 'ControlSet%03d\\Services' % number)
            self.assertEqual(len(names), 603)
            self.assertTrue({'PartMgr', 'Disk', 'Diskperf'} <= set(names))

    def test_services_have_the_typical_values(self):
        names = subkeys(self.hive, 'ControlSet001\\Services')
        service = values_of(self.hive, 'ControlSet001\\Services\\' + names[-1])
        self.assertTrue({'Type', 'Start', 'ErrorControl', 'ImagePath', 'DisplayName',
                         'Group'} <= set(service))
        self.assertEqual(service['ImagePath'][0], 2)
        self.assertIn('Security', subkeys(self.hive, 'ControlSet001\\Services\\' + names[-1]))

    def test_class_tree_with_the_disk_filter_list(self):
        classes = subkeys(self.hive, 'ControlSet001\\Control\\Class')
        self.assertEqual(len(classes), 40)
        disk = values_of(self.hive, 'ControlSet001\\' + CLASS_PATH)
        self.assertEqual(disk['UpperFilters'], (7, wide('PartMgr\0\0')))
        self.assertEqual(values_of(self.hive, 'Select')['Default'], (4, bytes([1, 0, 0, 0])))

    def test_same_bytes_for_the_same_seed(self):
        with tempfile.TemporaryDirectory(prefix='hivefixture-') as other:
            again = hf.realistic_system_hive(os.path.join(other, 'SYSTEM'))
            with open(again, 'rb') as a, open(self.hive, 'rb') as b:
                self.assertTrue(a.read() == b.read())


# ------------------------------------------------------------------ command line

class CommandLineTest(TempDirTest):
    def run_cli(self, *args):
        return subprocess.run([sys.executable, os.path.join(HERE, 'hivefixture.py'), *args],
                              capture_output=True, text=True)

    def test_commands_make_their_fixtures(self):
        reg = self.path('class.reg')
        with open(reg, 'wb') as f:
            f.write(regedit4('[%s]' % CCS_CLASS, '"UpperFilters"=hex(7):46,6f,6f,00,00'))
        for args in (['minimal', self.path('min')],
                     ['system', self.path('sys'), reg, '--control-set', '3',
                      '--other-set', '1=' + reg],
                     ['installation', self.path('inst'), '--windows-name', 'Windows',
                      '--reg', reg, '--no-temp', '--driver-files', 'partmgr.sys'],
                     ['realistic', self.path('real'), '--services', '20']):
            with self.subTest(args[0]):
                result = self.run_cli(*args)
                self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(subkeys(self.path('min')), [])
        self.assertEqual(subkeys(self.path('sys')), ['ControlSet001', 'ControlSet003', 'Select'])
        self.assertEqual(values_of(self.path('sys'), 'ControlSet003\\' + CLASS_PATH),
                         {'UpperFilters': (7, wide('Foo\0\0'))})
        self.assertEqual(os.listdir(self.path('inst', 'Windows', 'system32', 'drivers')),
                         ['partmgr.sys'])
        self.assertEqual(len(subkeys(self.path('real'), 'ControlSet001\\Services')), 23)

    def test_a_bad_fragment_is_reported_not_thrown(self):
        reg = self.path('bad.reg')
        with open(reg, 'wb') as f:
            f.write(regedit4('[HKEY_CURRENT_USER\\Software]'))
        result = self.run_cli('system', self.path('sys'), reg)
        self.assertEqual(result.returncode, 1)
        self.assertIn('outside the hive', result.stderr)


if __name__ == '__main__':
    unittest.main()
