"""The window's conversion run on a demo database through the bus against in-process.

automation_bench.py BUILD_DIR [RECORDS per table, 10000]: in-process is bench/automation_bench
(Application::UseDatabase on the .vdb, Start pressed); through the bus is telnormer-host handing
the same database to telnormer on a private session bus, where the offscreen test hook presses
Start. Prints records/s for both (the demo has three tables).
"""
import os, shutil, subprocess, sys, tempfile, time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2]) if len(sys.argv) > 2 else 10000

if len(sys.argv) > 3:  # inside the private bus
    work = os.environ['BENCH_WORK']
    host = subprocess.Popen([BUILD + '/tools/host/telnormer-host', work + '/bus.vdb', '--user',
                             'ADMIN'], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                            env=dict(os.environ, VDB_PASSWORD='admin'))
    host.stdout.readline()
    started = time.time()
    while 'record(s) converted' not in open(work + '/bus.log', errors='replace').read():
        time.sleep(0.05)
    print('through the bus: %.0f records/s' % (3 * RECORDS / (time.time() - started)), flush=True)
    pid = subprocess.run(['gdbus', 'call', '--session', '--dest', 'org.freedesktop.DBus',
                          '--object-path', '/org/freedesktop/DBus', '--method',
                          'org.freedesktop.DBus.GetConnectionUnixProcessID',
                          'com.veltrano.Telnormer'], capture_output=True, text=True).stdout
    host.stdin.close()
    host.wait()
    os.kill(int(''.join(c for c in pid.split()[-1] if c.isdigit())), 15)
    sys.exit(0)

work = tempfile.mkdtemp(prefix='telnormer-bench-')
subprocess.run([BUILD + '/bench/automation_bench', work + '/local.vdb', str(RECORDS)], check=True)
subprocess.run([BUILD + '/tools/vdbtool/vdbtool', 'demo', work + '/bus.vdb', '--records',
                str(RECORDS)], check=True, stdout=subprocess.DEVNULL)
os.makedirs(work + '/services')
with open(work + '/services/com.veltrano.Telnormer.service', 'w') as f:
    f.write('[D-BUS Service]\nName=com.veltrano.Telnormer\nExec=%s/src/startup/telnormer '
            '--automation\n' % BUILD)
with open(work + '/bus.conf', 'w') as f:
    f.write('<busconfig><type>session</type><listen>unix:tmpdir=%s</listen><auth>EXTERNAL</auth>'
            '<servicedir>%s/services</servicedir><policy context="default"><allow '
            'send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>'
            '</policy></busconfig>' % (work, work))
env = dict(os.environ, QT_QPA_PLATFORM='offscreen', XDG_CONFIG_HOME=work + '/config',
           BENCH_WORK=work, TELNORMER_AUTOMATION_TEST_START='Telef')
with open(work + '/bus.log', 'w') as log:
    subprocess.run(['dbus-run-session', '--config-file=' + work + '/bus.conf', '--', sys.executable,
                    __file__, BUILD, str(RECORDS), 'inside'], env=env, stderr=log, check=True)
shutil.rmtree(work, ignore_errors=True)
