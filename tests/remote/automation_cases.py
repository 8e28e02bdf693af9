"""The automation entry against a hostile session: the private socket's folder and its
strangers, many host processes, the bus ending. Run through automation_test.py, whose helpers
these cases use."""
import glob, os, signal, sqlite3, subprocess, time

from automation_test import (BUILD, HERE, NAME, PY, bus, demo, start_host, telnormer_pid,
                             wait_until)


def case_private_socket():
    # Without XDG_RUNTIME_DIR: the socket in a folder of its own that only the user may enter, and
    # strangers that connect and never log in give their places back.
    import socket
    work = os.environ['TELNORMER_WORK']
    demo(work + '/a.vdb', 20)
    os.chmod(work, 0o711)
    os.mkdir(work + '/tmp', 0o1777)
    os.chmod(work + '/tmp', 0o1777)
    env = {k: v for k, v in os.environ.items() if k != 'XDG_RUNTIME_DIR'}
    host = start_host(work + '/a.vdb', env=dict(env, TMPDIR=work + '/tmp'))
    assert host.stdout.readline().startswith('handed over: ')
    sockets = glob.glob(work + '/tmp/telnormer-host-*/dbus-*')
    assert len(sockets) == 1, os.listdir(work + '/tmp')
    folder = os.lstat(os.path.dirname(sockets[0]))
    assert (folder.st_mode & 0o7777, folder.st_uid) == (0o700, os.getuid()), folder
    other = subprocess.run(['runuser', '-u', 'nobody', '--', PY, '-c',
                            'import socket; socket.socket(socket.AF_UNIX).connect(%r)' % sockets[0]],
                           capture_output=True, text=True)
    assert 'PermissionError' in other.stderr, other
    strangers = [socket.socket(socket.AF_UNIX) for _ in range(40)]
    for s in strangers:
        s.connect(sockets[0])
        s.settimeout(5)
    assert [s.recv(1) for s in strangers] == [b''] * 40, 'a stranger held its place'
    host.stdin.close()
    assert host.wait(30) == 0 and glob.glob(work + '/tmp/*') == []
    # A folder others may write to without the sticky bit, or one that is not ours: no socket,
    # the bus serves.
    os.mkdir(work + '/open', 0o777)
    os.chmod(work + '/open', 0o777)
    os.mkdir(work + '/theirs', 0o700)
    os.chown(work + '/theirs', 65534, 65534)
    os.symlink(work + '/theirs', work + '/link')
    for run in ('/open', '/link'):
        host = start_host(work + '/a.vdb', env=dict(env, XDG_RUNTIME_DIR=work + run))
        assert host.stdout.readline().startswith('handed over: ')
        assert os.listdir(work + run) == [], run
        host.stdin.close()
        assert host.wait(30) == 0
    os.kill(telnormer_pid(bus()), signal.SIGTERM)


def case_bus_gone():
    # The session bus ends during a run: the run ends as when its host leaves, at what it
    # committed (its journal undoes exactly what the database holds), and Telnormer ends.
    import dbus
    work = os.environ['TELNORMER_WORK']
    for name in ('big', 'before'):
        demo(work + '/%s.vdb' % name, 10000)
    with open(work + '/second.log', 'w') as log:
        daemon = subprocess.Popen(['dbus-daemon', '--config-file=' + work + '/bus.conf',
                                   '--nofork', '--print-address=1'], stdout=subprocess.PIPE,
                                  stderr=log, text=True)
    address = daemon.stdout.readline().strip()
    host = start_host(work + '/big.vdb', env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address))
    assert host.stdout.readline().startswith('handed over: ')
    pid = int(dbus.bus.BusConnection(address).get_object('org.freedesktop.DBus', '/')
              .GetConnectionUnixProcessID(NAME, dbus_interface='org.freedesktop.DBus'))
    logs = lambda: glob.glob(work + '/Logs/Telnormer/big_*.txt')
    wait_until(lambda: logs() and os.path.getsize(logs()[0]) > 20000, 60, 'the run did not start')
    daemon.terminate()
    daemon.wait()
    ended = lambda: not os.path.exists('/proc/%d' % pid) or \
        open('/proc/%d/stat' % pid).read().split(') ')[1][0] in 'ZX'
    wait_until(ended, 30, 'telnormer outlived its bus')
    host.kill()
    host.wait()
    said = open(work + '/second.log', errors='replace').read()
    assert 'The program that handed over the database has ended.' in said, said[-3000:]
    dump = lambda f: [sqlite3.connect(work + f).execute('SELECT * FROM "%s" ORDER BY rowid' % t)
                      .fetchall() for t in ('Kunden', 'Lieferanten', 'Ansprechpartner')]
    converted = dump('/big.vdb')
    subprocess.run([BUILD + '/tools/batch/telnormer-batch', work + '/big.vdb', '--user', 'ADMIN',
                    '--undo', glob.glob(work + '/Logs/Telnormer/big_*.jsonl')[0]], check=True,
                   capture_output=True, env=dict(os.environ, VDB_PASSWORD='admin'))
    assert converted != dump('/before.vdb') and dump('/big.vdb') == dump('/before.vdb')


def case_many_hosts():
    # Processes one after the other, eight windows each: all hosts together have at most 64.
    work = os.environ['TELNORMER_WORK']
    for n in range(9):
        said = subprocess.run([PY, HERE + '/python_host.py', work + '/py.vdb', 'Spread'],
                              stdout=subprocess.PIPE, text=True, timeout=60).stdout.splitlines()
        opened = said[:-1]
        assert opened == ['handed over %d' % w for w in range(1, 9 if n < 8 else 1)], (n, said)
        assert ('at most 8 windows' if n < 8 else 'at most 64 windows') in said[-1], (n, said)
    os.kill(telnormer_pid(bus()), signal.SIGTERM)
