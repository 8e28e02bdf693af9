"""The automation entry end to end, each case on a private session bus of its own.

automation_test.py CASE BUILD_DIR: starts dbus-run-session with a service folder that activates
BUILD_DIR's telnormer, then runs CASE inside it. Telnormer's standard error (the bus's) goes to
bus.log in the case's temporary folder; the offscreen test hook answers its message boxes there.
"""
import glob, json, os, shutil, signal, sqlite3, subprocess, sys, tempfile, time

CASE, BUILD = sys.argv[1], os.path.abspath(sys.argv[2])
TELNORMER = BUILD + '/src/startup/telnormer'
HOST = BUILD + '/tools/host/telnormer-host'
VDBTOOL = BUILD + '/tools/vdbtool/vdbtool'
HERE = os.path.dirname(os.path.abspath(__file__))
PY = '/usr/bin/python3'  # Debian's, with python3-dbus
NAME, FACTORY = 'com.veltrano.Telnormer', '/com/veltrano/Telnormer'
IFACE, APP_IFACE = 'com.veltrano.VelTelnormer', 'com.veltrano.VelTelnormer.Application'
EMPTY = '0x80042EE0: UseDatabase must be supplied with an open database.'


def outside():
    work = tempfile.mkdtemp(prefix='telnormer-bus-')
    services = work + '/services'
    if CASE == 'install':
        subprocess.run(['cmake', '--install', BUILD, '--prefix', work + '/prefix',
                        '--component', 'automation'], check=True, stdout=subprocess.DEVNULL)
        services = work + '/prefix/share/dbus-1/services'
    else:
        os.makedirs(services)
        with open(services + '/com.veltrano.Telnormer.service', 'w') as f:
            f.write('[D-BUS Service]\nName=%s\nExec=%s --automation\n' % (NAME, TELNORMER))
    with open(work + '/bus.conf', 'w') as f:
        f.write('<busconfig><type>session</type><listen>unix:tmpdir=%s</listen>'
                '<auth>EXTERNAL</auth><servicedir>%s</servicedir><policy context="default">'
                '<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>'
                '<allow own="*"/></policy></busconfig>' % (work, services))
    env = dict(os.environ, QT_QPA_PLATFORM='offscreen', XDG_CONFIG_HOME=work + '/config',
               TELNORMER_WORK=work, TELNORMER_AUTOMATION_TEST_START='Telef')
    if CASE in ('empty', 'two_windows', 'foreign', 'lifetime', 'private_socket', 'many_hosts'):
        env['TELNORMER_AUTOMATION_TEST_START'] = ''
    if CASE == 'use_database_times_out':
        env['TELNORMER_AUTOMATION_TEST_RUN_WAIT_MS'] = '1000'
    with open(work + '/bus.log', 'w') as log:
        status = subprocess.run(['dbus-run-session', '--config-file=' + work + '/bus.conf', '--',
                                 PY, __file__, CASE, BUILD, 'inside'],
                                env=env, stderr=log).returncode
    if status != 0:
        print(open(work + '/bus.log', errors='replace').read())
        sys.exit(status)
    if os.environ.get("KEEP"): print(open(work + "/bus.log", errors="replace").read()[-3000:])
    shutil.rmtree(work, ignore_errors=True)


# ----- inside the private bus -----

def bus():
    import dbus
    return dbus.SessionBus()


def telnormer_pid(b):
    import dbus
    try:
        return int(b.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus')
                   .GetConnectionUnixProcessID(NAME, dbus_interface='org.freedesktop.DBus'))
    except dbus.DBusException:
        return None


def wait_until(what, seconds, message):
    end = time.time() + seconds
    while time.time() < end:
        if what():
            return
        time.sleep(0.1)
    raise AssertionError(message)


def ends_by_itself(b, seconds=8):
    wait_until(lambda: not b.name_has_owner(NAME), seconds, 'telnormer did not end by itself')


def bus_log():
    return open(os.environ['TELNORMER_WORK'] + '/bus.log', errors='replace').read()


def create(b):
    return b.get_object(NAME, b.get_object(NAME, FACTORY).CreateApplication(dbus_interface=IFACE))


def demo(path, records=None):
    args = [VDBTOOL, 'demo', path] + (['--records', str(records)] if records else [])
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def start_host(path, user='ADMIN', run=None, env=os.environ, **options):
    env = dict(env, VDB_PASSWORD='admin')
    if run:  # where its private socket goes
        os.makedirs(run, mode=0o700)
        env['XDG_RUNTIME_DIR'] = run
    return subprocess.Popen([HOST, path, '--user', user], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True, env=env, **options)


def gdbus(*args):
    return subprocess.run(['gdbus'] + list(args), check=True, capture_output=True,
                          text=True).stdout


def case_gdbus():
    call = ['call', '--session', '--dest', NAME, '--object-path', FACTORY, '--method',
            IFACE + '.CreateApplication']
    assert gdbus(*call).startswith("(objectpath '/com/veltrano/Telnormer/App")
    assert 'Activating service' in bus_log()
    ends_by_itself(bus())  # gdbus's connection ended with its call: its object is gone
    shown = gdbus('introspect', '--session', '--dest', NAME, '--object-path', FACTORY)
    assert 'interface ' + IFACE + ' {' in shown and 'CreateApplication(out o ' in shown, shown
    os.kill(telnormer_pid(bus()), signal.SIGTERM)


def case_install():
    prefix = os.environ['TELNORMER_WORK'] + '/prefix'
    service = open(prefix + '/share/dbus-1/services/com.veltrano.Telnormer.service').read()
    assert 'Exec=%s/bin/telnormer --automation\n' % prefix in service, service
    b = bus()
    create(b)
    assert os.readlink('/proc/%d/exe' % telnormer_pid(b)) == prefix + '/bin/telnormer'


def case_empty():
    import dbus
    b = bus()
    app = create(b)
    try:
        app.UseDatabase(dbus.ObjectPath('/'), dbus_interface=APP_IFACE)
        raise AssertionError('UseDatabase("/") succeeded')
    except dbus.DBusException as e:
        assert (e.get_dbus_name(), e.get_dbus_message()) == (IFACE + '.Error', EMPTY), e
    assert 'window shown' not in bus_log()
    # Released without a window: nothing keeps the process.
    app.Release(dbus_interface=APP_IFACE)
    ends_by_itself(b)


def case_foreign():
    import dbus
    mine, theirs = bus(), dbus.SessionBus(private=True)
    path = mine.get_object(NAME, FACTORY).CreateApplication(dbus_interface=IFACE)
    for call in ('UseDatabase', 'Release'):
        method = theirs.get_object(NAME, path).get_dbus_method(call, APP_IFACE)
        try:
            method(dbus.ObjectPath('/')) if call == 'UseDatabase' else method()
            raise AssertionError(call + ' by another connection succeeded')
        except dbus.DBusException as e:
            assert e.get_dbus_name() == 'org.freedesktop.DBus.Error.AccessDenied', e
    mine.get_object(NAME, path).Release(dbus_interface=APP_IFACE)  # the owner still may


def unique_name(b, pid):
    return next(n for n in b.list_names() if n.startswith(':') and
                b.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus')
                .GetConnectionUnixProcessID(n, dbus_interface='org.freedesktop.DBus') == pid)


# What a stranger on the bus tried on a host's database during a run: all refused, even on the
# paths above it, which would name it.
DB, PEER = 'com.veltrano.VelDbServer.Database', 'org.freedesktop.DBus.Peer'
INTRO = 'org.freedesktop.DBus.Introspectable'
STRANGER = [(DB, 'UserName', '', ()), (DB, 'Direct', '', ()), (DB, 'Begin', 'i', (0,)),
            (DB, 'Commit', '', ()), (INTRO, 'Introspect', '', ())] + \
    [(DB, 'Skip', 'sii', (t, 1, 0)) for t in ('Kunden', 'Lieferanten', 'Ansprechpartner')]
ABOVE = [(INTRO, 'Introspect', '', (), p) for p in ('/', '/com/veltrano/TelnormerHost')]
# On the bus only: on a private connection the library answers Ping before any object sees it.
PINGS = [(PEER, 'Ping', '', (), p) for p in ('/', '/com/veltrano/TelnormerHost/Database')]


def refused(connection, name, path, above=[]):
    import dbus
    for interface, method, signature, args, *where in STRANGER + above:
        try:
            connection.call_blocking(name, where[0] if where else path, interface, method,
                                     signature, args)
            raise AssertionError(method + ' by a stranger succeeded')
        except dbus.DBusException as e:
            assert e.get_dbus_name() == 'org.freedesktop.DBus.Error.AccessDenied', (method, e)


def run_python_host(file_name, end, kind='Host', *marker):
    import dbus
    host = subprocess.Popen([PY, HERE + '/python_host.py', file_name, kind, *marker],
                            stdout=subprocess.PIPE, text=True)
    said = host.stdout.readline()
    assert said.startswith('handed over '), (kind, said)
    wait_until(lambda: end in bus_log(), 30, 'the run did not end: ' + end)
    refused(dbus.SessionBus(private=True), unique_name(bus(), host.pid), '/host/db')
    host.send_signal(signal.SIGTERM)
    tables = json.loads(host.stdout.readline())
    host.wait()
    os.kill(telnormer_pid(bus()), signal.SIGTERM)
    return tables


def case_python_host_without_folder():
    # No folder for the log: the run says so and changes nothing.
    tables = run_python_host('', 'names no folder')
    assert tables['Kunden'][1]['Telefon'] == '089/998877', tables


def case_python_host():
    work = os.environ['TELNORMER_WORK']
    marker = work + '/direct-ran'
    tables = run_python_host(work + '/host.vdb', 'record(s) converted', 'HostileHost', marker)
    assert not os.path.exists(marker), 'a direct address that runs a program was used'
    check_python_host(work, tables)


def case_python_host_page_only():
    # A host with pages but without Store: the values go one by one, with the same result.
    work = os.environ['TELNORMER_WORK']
    check_python_host(work, run_python_host(work + '/host.vdb', 'record(s) converted',
                                            'PageOnlyHost'))


def check_python_host(work, tables):
    ada, bo = tables['Kunden']
    # Bo's canonical fax breaks the condition: only the fax stays as it was.
    assert ada['Telefon'] == '+49 (30) 1234567', ada
    assert (bo['Telefon'], bo['Telefax']) == ('+49 (89) 998877', '030 7654321'), bo
    suppliers = [row['Telefon'] for row in tables['Lieferanten']]
    assert suppliers[:2] == ['+49 (40) 55555', '+49 (40) 5000'], suppliers
    # Changed by the host after the first batch: read afresh, not from an earlier page.
    assert suppliers[12] == '+49 (221) 777', suppliers[12]
    logs = glob.glob(work + '/Logs/Telnormer/host_*.txt')
    assert len(logs) == 1, logs
    log = open(logs[0], 'rb').read().decode('utf-8', errors='replace')
    assert 'geforderten Bedingung' in log and 'Field Telefax: 030 7654321' in log, log
    assert '+49 (30) 1234567' in log, log


def case_two_windows():
    work = os.environ['TELNORMER_WORK']
    demo(work + '/a.vdb')
    demo(work + '/b.vdb')
    first = start_host(work + '/a.vdb')
    assert first.stdout.readline().startswith('handed over: /com/veltrano/Telnormer/')
    first.stdin.write('\n')
    first.stdin.flush()
    assert first.stdout.readline().startswith('handed over: ')
    second = start_host(work + '/b.vdb')
    assert second.stdout.readline().startswith('handed over: ')
    shown = [l for l in bus_log().splitlines() if l.startswith('window shown')]
    assert shown == ['window shown: %d open, current database %s/%s.vdb' % (n, work, f)
                     for n, f in ((1, 'a'), (2, 'a'), (3, 'b'))], shown
    for host in (first, second):
        host.stdin.close()
        assert host.wait(30) == 0
    os.kill(telnormer_pid(bus()), signal.SIGTERM)


def case_same_as_batch():
    # Through the bus, a page of records per call: the same data and journal as in-process.
    work = os.environ['TELNORMER_WORK']
    demo(work + '/local.vdb', 150)
    demo(work + '/bus.vdb', 150)
    subprocess.run([BUILD + '/tools/batch/telnormer-batch', work + '/local.vdb', '--user',
                    'ADMIN', '--prefix', 'Telef'], check=True, capture_output=True,
                   env=dict(os.environ, VDB_PASSWORD='admin'))
    host = start_host(work + '/bus.vdb', run=work + '/run')
    assert host.stdout.readline().startswith('handed over: ')
    # A stranger calls all through the run (as one that took records' numbers did), on the bus
    # and on the private socket: refused every time, the run's result the same.
    import dbus
    stranger, name = dbus.SessionBus(private=True), unique_name(bus(), host.pid)
    sockets = glob.glob(work + '/run/telnormer-host-*/dbus-*')
    assert len(sockets) == 1, sockets
    direct, since = dbus.connection.Connection('unix:path=' + sockets[0]), time.time()
    refused(direct, None, '/com/veltrano/TelnormerHost/Database', ABOVE)
    while 'record(s) converted' not in bus_log():
        refused(stranger, name, '/com/veltrano/TelnormerHost/Database', ABOVE + PINGS)
    # Logged in, but not as Telnormer: its place is given back.
    time.sleep(max(0, since + 3 - time.time()))
    try:
        direct.call_blocking(None, '/', INTRO, 'Introspect', '', ())
        raise AssertionError('a stranger kept its private connection')
    except dbus.DBusException as e:
        assert e.get_dbus_name() in ('org.freedesktop.DBus.Error.NoReply',
                                     'org.freedesktop.DBus.Error.Disconnected'), e
    host.stdin.close()
    assert host.wait(30) == 0
    os.kill(telnormer_pid(bus()), signal.SIGTERM)
    dump = lambda f: [sqlite3.connect(work + f).execute('SELECT * FROM "%s" ORDER BY rowid' % t)
                      .fetchall() for t in ('Kunden', 'Lieferanten', 'Ansprechpartner')]
    assert dump('/local.vdb') == dump('/bus.vdb')
    journal = lambda n: open(glob.glob(work + '/Logs/Telnormer/%s_*.jsonl' % n)[0]).readlines()[1:]
    local, remote = journal('local'), journal('bus')
    assert len(local) > 100 and local == remote, [d for d in zip(local, remote) if d[0] != d[1]][:2]


def case_host_killed():
    work = os.environ['TELNORMER_WORK']
    demo(work + '/big.vdb', 10000)
    host = start_host(work + '/big.vdb')
    assert host.stdout.readline().startswith('handed over: ')
    logs = lambda: glob.glob(work + '/Logs/Telnormer/big_*.txt')
    wait_until(lambda: logs() and os.path.getsize(logs()[0]) > 20000, 60, 'the run did not start')
    host.kill()
    host.wait()
    wait_until(lambda: 'The program that handed over the database has ended.' in bus_log(), 30,
               'the run did not stop with the clear error')
    b = bus()
    started = time.time()
    create(b).Release(dbus_interface=APP_IFACE)
    assert time.time() - started < 5, 'telnormer is not responsive'
    assert sqlite3.connect(work + '/big.vdb').execute('PRAGMA integrity_check').fetchone() == ('ok',)
    os.kill(telnormer_pid(b), signal.SIGTERM)


def case_use_database_waits():
    # A host's UseDatabase during a run is answered once the run has ended; held longer than
    # the wait allows, it fails with a clear error and opens no window.
    work = os.environ['TELNORMER_WORK']
    # Long enough that the run outlasts the shortened wait on a fast machine.
    demo(work + '/big.vdb', 6000 if CASE == 'use_database_times_out' else 1000)
    host = start_host(work + '/big.vdb')
    assert host.stdout.readline().startswith('handed over: ')
    logs = lambda: glob.glob(work + '/Logs/Telnormer/big_*.txt')
    wait_until(lambda: logs() and os.path.getsize(logs()[0]) > 2000, 60, 'the run did not start')
    try:
        host.stdin.write('\n')
        host.stdin.flush()
        answered = host.stdout.readline()
        log = bus_log()
        assert 'record(s) converted' in log or CASE == 'use_database_times_out', 'answered mid-run'
        if CASE == 'use_database_waits':
            assert answered.startswith('handed over: '), answered
            assert log.index('record(s) converted') < log.index('window shown: 2 open'), log
        else:
            assert answered == '' and 'UseDatabase waited 1 s for its end in vain' in log, log
            assert host.wait(30) == 1 and 'window shown: 2 open' not in bus_log()
    finally:
        os.kill(telnormer_pid(bus()), signal.SIGTERM)
        host.kill()
        host.wait()


case_use_database_times_out = case_use_database_waits


def case_stall():
    # A host frozen in a page holds the windows' thread: other hosts are answered all the same.
    work = os.environ['TELNORMER_WORK']
    frozen = subprocess.Popen([PY, HERE + '/python_host.py', work + '/f.vdb', 'FrozenHost'],
                              stdout=subprocess.PIPE, text=True)
    assert frozen.stdout.readline().startswith('handed over ')
    time.sleep(1)  # Start pressed: the run waits for the first page
    import dbus
    b, theirs = bus(), dbus.SessionBus(private=True)
    started = time.time()
    app = create(b)
    try:
        theirs.get_object(NAME, app.object_path).Release(dbus_interface=APP_IFACE)
        raise AssertionError('Release by another connection succeeded')
    except dbus.DBusException as e:
        assert e.get_dbus_name() == 'org.freedesktop.DBus.Error.AccessDenied', e
    app.Release(dbus_interface=APP_IFACE)
    assert time.time() - started < 2, 'another host waited %.1f s' % (time.time() - started)
    frozen.kill()
    # A private socket that never answers: a few seconds, then the bus serves the whole run.
    started = time.time()
    tables = run_python_host(work + '/s.vdb', 'record(s) converted', 'SilentSocketHost')
    assert time.time() - started < 15, time.time() - started
    assert tables['Kunden'][0]['Telefon'] == '+49 (30) 1234567', tables


def case_limits():
    # Answers of the wrong shape or size fail the run's call, saying what was wrong.
    work = os.environ['TELNORMER_WORK']
    for kind, says in (('WrongShapeHost', "(Page: an answer of type 'basasasaavab', not "
                                          "'basasaavaavab')"),
                       ('LongPageHost', '(Page: 121 records, ')):
        tables = run_python_host(work + '/host.vdb', says, kind)
        assert tables['Lieferanten'][1]['Telefon'] == '040 5000', tables
        time.sleep(1.1)  # a log of its own: logs are named to the second
    for kind, says in (('ManyFieldsHost', '(Fields: 200000 names; at most 2000 in a list'),
                       ('LongNameHost', '(Fields: a name longer than 1024 characters)')):
        host = subprocess.Popen([PY, HERE + '/python_host.py', work + '/host.vdb', kind],
                                stdout=subprocess.PIPE, text=True)
        failed = host.stdout.readline()
        host.kill()
        host.wait()
        assert says in failed, failed


def case_lifetime():
    import dbus
    work = os.environ['TELNORMER_WORK']
    demo(work + '/a.vdb', 20)
    b = bus()
    gone = subprocess.Popen([PY, HERE + '/python_host.py', work + '/py.vdb'],
                            stdout=subprocess.PIPE, text=True)
    path = gone.stdout.readline().split()[-1]
    stays = start_host(work + '/a.vdb', stderr=subprocess.PIPE)
    assert stays.stdout.readline().startswith('handed over: ')
    # A host that ends without Release: its object goes, its window stays.
    gone.kill()
    gone.wait()
    introspect = lambda: b.get_object(NAME, path).Introspect(
        dbus_interface='org.freedesktop.DBus.Introspectable')
    wait_until(lambda: APP_IFACE not in introspect(), 5, 'the object of an ended host stayed')
    # The other host goes on: seven more windows, then one more than a host may have is refused.
    stays.stdin.write('\n' * 8)
    stays.stdin.flush()
    for _ in range(7):
        assert stays.stdout.readline().startswith('handed over: ')
    assert stays.wait(30) == 1
    assert 'A program may have at most 8 windows open at once.' in stays.stderr.read()
    # Limits hold for a process, whatever connections it uses and however long they last.
    spread = subprocess.run([PY, HERE + '/python_host.py', work + '/py.vdb', 'Spread'],
                            stdout=subprocess.PIPE, text=True, timeout=60).stdout.splitlines()
    assert spread[:8] == ['handed over %d' % n for n in range(1, 9)], spread
    assert 'at most 8 windows open at once.' in spread[8], spread
    mine = [dbus.SessionBus(private=True) for _ in range(16)]
    for n, connection in enumerate(mine + [mine[0]]):
        try:
            connection.get_object(NAME, FACTORY).CreateApplication(dbus_interface=IFACE)
            assert n < 16, 'a 17th object through a connection of its own'
        except dbus.DBusException as e:
            assert n == 16 and e.get_dbus_name().endswith('LimitsExceeded'), (n, e)
    # No object is held any more (the host released its own on its way out), but the windows
    # are open: the process stays.
    time.sleep(4)
    assert b.name_has_owner(NAME), 'telnormer ended with its windows open'
    os.kill(telnormer_pid(b), signal.SIGTERM)


if __name__ == '__main__' and len(sys.argv) > 3:
    import automation_cases
    try:
        (globals().get('case_' + CASE) or getattr(automation_cases, 'case_' + CASE))()
    except BaseException:
        # A failed case leaves no Telnormer behind to hold the test's output open.
        if telnormer_pid(bus()):
            os.kill(telnormer_pid(bus()), signal.SIGKILL)
        raise
    print(CASE, 'passed')
elif __name__ == '__main__':
    outside()
