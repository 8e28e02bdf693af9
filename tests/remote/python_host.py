"""A host in another language: an in-memory database of two tables handed over to Telnormer.

python_host.py FILENAME [KIND [MARKER]]: the database's FileName (the change log goes beside it);
KIND is one of the classes below (Host by default); HostileHost offers a direct address that would
create MARKER. Prints "handed over PATH" once Telnormer took it, and on SIGTERM the records as
JSON, then ends. Only the Telnormer it handed the database to is served.
"""
import json, os, signal, socket, sys, time
import dbus, dbus.lowlevel, dbus.service, dbus.mainloop.glib
from gi.repository import GLib

DB = 'com.veltrano.VelDbServer.Database'
ERR = 'com.veltrano.VelTelnormer.Error'


class Failure(dbus.DBusException):
    _dbus_error_name = ERR


def nothing(value):
    return dbus.Array([] if value is None else [value], signature='v')


class PageOnlyHost(dbus.service.Object):
    """Reads pages but has no Store: Telnormer writes value by value."""
    def __init__(self, bus, file_name):
        super().__init__(bus, '/host/db')
        self.file_name = file_name
        self.client = None
        # Fax numbers longer than 15 characters break the field's condition. Enough suppliers
        # for batches of ten records.
        self.tables = {
            'Kunden': [{'ID': 1, 'Name': 'Ada', 'Telefon': '030 1234567', 'Telefax': None},
                       {'ID': 2, 'Name': 'Bo', 'Telefon': '089/998877', 'Telefax': '030 7654321'}],
            'Lieferanten': [{'ID': 7, 'Firma': 'Eisen', 'Telefon': '0049 40 55555'}] +
                           [{'ID': 100 + i, 'Firma': 'F', 'Telefon': '040 %d' % (5000 + i)}
                            for i in range(120)]}
        self.cursor = {name: [0, {}] for name in self.tables}
        self.saved = None
        self.commits = 0

    def _message_cb(self, connection, message):
        if message.get_sender() != self.client:
            connection.send_message(dbus.lowlevel.ErrorMessage(
                message, 'org.freedesktop.DBus.Error.AccessDenied', 'Not handed over to you'))
            return
        super()._message_cb(connection, message)

    def rows(self, t): return self.tables[str(t)]
    def here(self, t):
        pos = self.cursor[str(t)][0]
        if pos >= len(self.rows(t)): raise Failure('0x80041079: No current record')
        return self.rows(t)[pos]

    @dbus.service.method(DB, '', 's')
    def FileName(self): return self.file_name
    @dbus.service.method(DB, '', 's')
    def Name(self): return 'Host'
    @dbus.service.method(DB, '', 's')
    def UserName(self): return 'PY'
    @dbus.service.method(DB, '', 's')
    def LocationCountry(self): return 'DE'
    @dbus.service.method(DB, '', 's')
    def LocationAreaCode(self): return '30'
    @dbus.service.method(DB, '', 'as')
    def Tables(self): return list(self.tables)
    @dbus.service.method(DB, 's', 's')
    def Caption(self, t): return ''
    @dbus.service.method(DB, 's', 'as')
    def Fields(self, t): return list(self.rows(t)[0])
    @dbus.service.method(DB, 's', 'as')
    def Indexes(self, t): return ['ID']
    @dbus.service.method(DB, 's', 'as')
    def IndexUses(self, t): return []
    @dbus.service.method(DB, 'ss', 'av')
    def Property(self, t, name): raise Failure('0x80041018: No such property')
    @dbus.service.method(DB, 's', 'i')
    def RecordCount(self, t): return len(self.rows(t))
    @dbus.service.method(DB, 's', 'i')
    def MarkedCount(self, t): return 0
    @dbus.service.method(DB, 'ssi', '')
    def Activate(self, t, index, opt): pass
    @dbus.service.method(DB, 'sbi', '')
    def ShowMarked(self, t, on, opt): pass
    @dbus.service.method(DB, 'sbi', '')
    def ShowUnmarked(self, t, on, opt): pass
    @dbus.service.method(DB, 'si', '')
    def MoveFirst(self, t, opt): self.cursor[str(t)] = [0, {}]
    @dbus.service.method(DB, 'sii', '')
    def Skip(self, t, count, opt): self.cursor[str(t)] = [self.cursor[str(t)][0] + count, {}]
    @dbus.service.method(DB, 's', 'b')
    def Eof(self, t): return self.cursor[str(t)][0] >= len(self.rows(t))
    @dbus.service.method(DB, 's', 's')
    def RecordId(self, t): return str(self.here(t)['ID'])
    @dbus.service.method(DB, 'ss', 'av')
    def Value(self, t, f):
        return nothing(self.cursor[str(t)][1].get(str(f), self.here(t)[str(f)]))
    @dbus.service.method(DB, 'ssav', '')
    def SetValue(self, t, f, v): self.cursor[str(t)][1][str(f)] = v[0] if v else None
    @dbus.service.method(DB, 'si', '')
    def Update(self, t, opt):
        edits = self.cursor[str(t)][1]
        if len(edits.get('Telefax') or '') > 15:
            raise Failure('0x80041076: Telefax: the value breaks the field condition')
        self.here(t).update({k: str(v) for k, v in edits.items()})
    @dbus.service.method(DB, 'si', '')
    def Compile(self, text, opt): pass
    @dbus.service.method(DB, 'si', 'av')
    def Evaluate(self, text, opt):
        table, field = str(text).split('->')
        return nothing(self.here(table)[field])
    @dbus.service.method(DB, 'i', '')
    def Begin(self, opt): self.saved = json.dumps(self.tables)
    @dbus.service.method(DB, '', '')
    def Commit(self):
        self.saved = None
        self.commits += 1
        if self.commits == 1:  # another program's change between two batches
            self.tables['Lieferanten'][12]['Telefon'] = '0221 777'
    @dbus.service.method(DB, 'siiasasi', 'basasaavaavab')
    def Page(self, t, skip, count, fields, texts, opt):
        self.Skip(t, skip, opt)
        pos, rows = self.cursor[str(t)][0], self.rows(t)
        page = rows[pos:pos + count]
        return (pos + len(page) >= len(rows), [str(r['ID']) for r in page], [''] * len(page),
                [nothing(r[str(f)]) for r in page for f in fields],
                [nothing(None)] * (len(page) * len(texts)), [False] * (len(page) * len(texts)))
    @dbus.service.method(DB, '', '')
    def Rollback(self): self.tables = json.loads(self.saved)


class Host(PageOnlyHost):
    @dbus.service.method(DB, 'siasaavi', '')
    def Store(self, t, skip, fields, values, opt):
        self.Skip(t, skip, opt)
        for f, v in zip(fields, values):
            self.SetValue(t, f, v)
        self.Update(t, opt)


class HostileHost(Host):
    # Offers a "private socket" that would run a program: Telnormer must stay on the bus.
    @dbus.service.method(DB, '', 's')
    def Direct(self): return 'unixexec:path=/usr/bin/touch,argv1=' + sys.argv[3]


class SilentSocketHost(Host):
    # A private socket that takes the connection and never says a word.
    @dbus.service.method(DB, '', 's')
    def Direct(self):
        self.silent = socket.socket(socket.AF_UNIX)
        self.silent.bind(os.path.dirname(self.file_name) + '/silent')
        self.silent.listen(5)
        return 'unix:path=' + os.path.dirname(self.file_name) + '/silent'


class FrozenHost(Host):
    # Frozen while it reads the first page.
    @dbus.service.method(DB, 'siiasasi', 'basasaavaavab')
    def Page(self, t, skip, count, fields, texts, opt): time.sleep(60)


class WrongShapeHost(Host):
    # The values of a page as strings, not as arrays of variants.
    @dbus.service.method(DB, 'siiasasi', 'basasasaavab')
    def Page(self, t, skip, count, fields, texts, opt):
        eof, ids, keys, values, evaluations, flags = Host.Page(self, t, skip, count, fields, texts, opt)
        return eof, ids, keys, [str(v[0]) if v else '' for v in values], evaluations, flags


class LongPageHost(Host):
    # Far more records than asked for.
    @dbus.service.method(DB, 'siiasasi', 'basasaavaavab')
    def Page(self, t, skip, count, fields, texts, opt):
        return Host.Page(self, t, skip, 1000, fields, texts, opt)


class ManyFieldsHost(Host):
    @dbus.service.method(DB, 's', 'as')
    def Fields(self, t): return ['F%d' % i for i in range(200000)]


class LongNameHost(Host):
    @dbus.service.method(DB, 's', 'as')
    def Fields(self, t): return ['F' * 100000]


def spread(file_name, loop, window=1):
    # One process, a connection of its own for each window, each closed once its window is open:
    # the windows count for the process all the same.
    bus = dbus.SessionBus(private=True)
    host = Host(bus, file_name)
    app = bus.get_object('com.veltrano.Telnormer', '/com/veltrano/Telnormer').CreateApplication(
        dbus_interface='com.veltrano.VelTelnormer')
    host.client = bus.get_name_owner('com.veltrano.Telnormer')

    def opened():
        print('handed over', window, flush=True)
        bus.set_exit_on_disconnect(False)
        bus.close()
        spread(file_name, loop, window + 1) if window < 9 else loop.quit()
    bus.get_object(host.client, app).UseDatabase(
        dbus.ObjectPath('/host/db'), dbus_interface='com.veltrano.VelTelnormer.Application',
        reply_handler=lambda: GLib.idle_add(opened),
        error_handler=lambda e: (print('failed:', e, flush=True), loop.quit()))


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    if sys.argv[2:] == ['Spread']:
        loop = GLib.MainLoop()
        spread(sys.argv[1], loop)
        return loop.run()
    bus = dbus.SessionBus()
    host = globals()[sys.argv[2] if len(sys.argv) > 2 else 'Host'](bus, sys.argv[1])
    loop = GLib.MainLoop()
    app = bus.get_object('com.veltrano.Telnormer', '/com/veltrano/Telnormer').CreateApplication(
        dbus_interface='com.veltrano.VelTelnormer')
    # The process that made the object, by its unique name, which no other program can take.
    host.client = bus.get_name_owner('com.veltrano.Telnormer')
    bus.get_object(host.client, app).UseDatabase(
        dbus.ObjectPath('/host/db'), dbus_interface='com.veltrano.VelTelnormer.Application',
        reply_handler=lambda: print('handed over', app, flush=True),
        error_handler=lambda e: (print('failed:', e, flush=True), loop.quit()))
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    loop.run()
    print(json.dumps(host.tables), flush=True)


main()
