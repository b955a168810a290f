"""What the benchmark scripts share: the loopback FTP server (Debian's pyftpdlib), the
work folder, the Release build of a tool, pairing and reading the tools' output."""

import os
import subprocess
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3"  # Debian's interpreter, the one with pyftpdlib
HOST = "127.0.0.1"
USER = "bench"
PASSWORD = "bench-pw"

SERVER_SCRIPT = r"""
import logging, os, sys, threading
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
address, root, user, password = sys.argv[1:5]
logging.basicConfig(level=logging.WARNING)
logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
if len(sys.argv) > 5:
    from pyftpdlib.handlers import TLS_FTPHandler, TLS_DTPHandler
    class HandshakeFirstDTPHandler(TLS_DTPHandler):
        # pyftpdlib takes a data connection that turns readable before the transfer command
        # for one the client closed; curl starts its TLS handshake right after connecting,
        # before STOR, so the hello must count as a handshake in progress.
        def readable(self):
            return self._ssl_accepting or super().readable()
    handler = TLS_FTPHandler
    handler.dtp_handler = HandshakeFirstDTPHandler
    handler.certfile = sys.argv[5]
    handler.tls_control_required = True
    handler.tls_data_required = True
handler.authorizer = authorizer
server = FTPServer((address, 0), handler)
print(server.socket.getsockname()[1], flush=True)
def watch_parent():
    sys.stdin.buffer.read()
    os._exit(0)
threading.Thread(target=watch_parent, daemon=True).start()
server.serve_forever(handle_exit=False)
"""

def say(text=""):
    print(text, flush=True)


def work_folder():
    """A tmpfs-backed folder when one has room, else the default temporary folder."""
    shm = "/dev/shm"
    try:
        stats = os.statvfs(shm)
        if os.access(shm, os.W_OK) and stats.f_bavail * stats.f_frsize > 2 * 1024**3:
            return tempfile.mkdtemp(prefix="zarvel-bench-", dir=shm)
    except OSError:
        pass
    return tempfile.mkdtemp(prefix="zarvel-bench-")


def build_release(build_dir, target, path):
    """Builds `target` in Release mode into `build_dir`; returns the tool at `path` there."""
    say(f"building {target} in {build_dir} ...")
    subprocess.run(["cmake", "-S", REPO, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", target],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, path)


def alternately(run_index, first, second):
    """Runs both measurements, the one first that went second last time."""
    if run_index % 2:
        return tuple(reversed((second(), first())))
    return first(), second()


def fields(output):
    values = {}
    for item in output.split():
        key, _, value = item.partition("=")
        values[key] = float(value)
    return values
