"""Real servers on free loopback ports, one per test, for the network tests.

Each server gets a folder of its own inside the folder the test names
(normally the test's temporary folder): its configuration, logs, pid file and
temporary files all live there, nothing under /var is touched and no default
site is used. The server runs in the foreground as a child of this process
(never through systemd), dies with it (PR_SET_PDEATHSIG) and is stopped by
stop() or by leaving the `with` block.

    with testnet.Nginx(folder) as web:
        web.put("a.txt", b"hello")
        urllib.request.urlopen(web.url("/a.txt"))

Servers: Nginx, Apache, Squid, Tinyproxy and Scripted (scripted.py). Every
server answers info(): a dict of plain strings (kind, host, port, url, folder,
logs, ...) that serve.py prints for C++ and shell tests.

The web servers and squid write their access log with one tab-separated line
per request: connection, status, bytes, request line, Range header,
User-Agent, user; read it with access_log().
"""
import ctypes
import hashlib
import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from scripted import ScriptedServer

# How long a server may take to answer after it was started, all attempts
# together (CI machines under a parallel test load are slow to start squid);
# PeerProcess waits a little longer for the ready line.
START_TIMEOUT = 90.0
# Starts retried with a new port when the port was taken in between.
START_ATTEMPTS = 5
# How long a stopping server may take before it is killed.
STOP_TIMEOUT = 10.0

LOG_FIELDS = ("connection", "status", "bytes", "request", "range", "user_agent", "user")

_PR_SET_PDEATHSIG = 1


def _program(name):
    """Full path of a server program (they live in /usr/sbin)."""
    path = shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
    if path is None:
        raise RuntimeError("%s is not installed (tools/packages.txt lists it)" % name)
    return path


def _die_with_parent():
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def free_port(ipv6=False):
    """A port free on 127.0.0.1 (and on ::1 when ipv6) a moment ago."""
    for _ in range(100):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        if not ipv6:
            return port
        try:
            with socket.socket(socket.AF_INET6) as s:
                s.bind(("::1", port))
            return port
        except OSError:
            continue
    raise RuntimeError("no free port")


def _listening_inodes(port, addresses):
    """Inodes of the sockets listening on port at each of the addresses."""
    wanted = {}
    for address in addresses:
        if ":" in address:
            packed = socket.inet_pton(socket.AF_INET6, address)
            words = [packed[i:i + 4][::-1].hex().upper() for i in range(0, 16, 4)]
            wanted["".join(words)] = address
        else:
            wanted[socket.inet_aton(address)[::-1].hex().upper()] = address
    found = {}
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table, encoding="ascii") as f:
            next(f)
            for line in f:
                fields = line.split()
                local_address, local_port = fields[1].split(":")
                if fields[3] == "0A" and int(local_port, 16) == port and local_address in wanted:
                    found[wanted[local_address]] = fields[9]
    return found


def _owns_sockets(pid, inodes):
    try:
        links = {os.readlink("/proc/%d/fd/%s" % (pid, fd)) for fd in os.listdir("/proc/%d/fd" % pid)}
    except OSError:
        return False
    return all("socket:[%s]" % inode in links for inode in inodes)


def _make_traversable(folder, parent, user):
    """Lets a server that drops to user reach its own folder: the test's
    folders get o+x, anything above them must already allow it."""
    path = os.path.abspath(folder)
    top = os.path.dirname(os.path.abspath(parent))
    while path != "/":
        mode = os.stat(path).st_mode
        if not mode & 0o001:
            if path == top or not path.startswith(top + "/"):
                raise RuntimeError("%s cannot enter %s" % (user.pw_name, path))
            os.chmod(path, mode | 0o001)
        path = os.path.dirname(path)
    for root, dirs, files in os.walk(folder):
        for name in [root] + [os.path.join(root, n) for n in dirs + files]:
            os.chown(name, user.pw_uid, user.pw_gid)


def _tail(path, lines=30):
    try:
        with open(path, encoding="latin-1") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""


def read_access_log(path):
    entries = []
    try:
        with open(path, encoding="latin-1") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) == len(LOG_FIELDS):
                    entries.append(dict(zip(LOG_FIELDS, fields)))
    except FileNotFoundError:
        pass
    return entries


class Server:
    """A server program run as a child with a configuration of its own."""

    kind = "server"
    scheme = "http"

    def __init__(self, parent, ipv6=False):
        if any(c.isspace() for c in os.path.abspath(parent)):
            raise ValueError("the server folder must not contain white space")
        self.parent = parent
        self.folder = tempfile.mkdtemp(prefix=self.kind + "-", dir=parent)
        self.ipv6 = ipv6
        self.addresses = ["127.0.0.1"] + (["::1"] if ipv6 else [])
        self.port = 0
        self.process = None
        self.output = os.path.join(self.folder, self.kind + ".out")

    # Hooks of each server.
    def configure(self):
        raise NotImplementedError

    def command(self):
        raise NotImplementedError

    def logs(self):
        return {}

    def start(self):
        failure = ""
        deadline = time.monotonic() + START_TIMEOUT
        for _ in range(START_ATTEMPTS):
            self.port = free_port(self.ipv6)
            self.configure()
            with open(self.output, "ab") as out:
                self.process = subprocess.Popen(
                    self.command(), cwd=self.folder, stdin=subprocess.DEVNULL, stdout=out,
                    stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
            if self._wait_ready(deadline):
                return self
            self.stop()
            failure = _tail(self.output) + "".join(_tail(p) for p in self.logs().values())
        raise RuntimeError("%s did not start:\n%s" % (self.kind, failure))

    def _wait_ready(self, deadline):
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            inodes = _listening_inodes(self.port, self.addresses)
            # The listeners must be this child's own: another test may hold
            # the port when this server failed to bind it. A listening socket
            # queues connections from now on, so no probe connection (which
            # would show in the access logs) is needed.
            if len(inodes) == len(self.addresses) and _owns_sockets(self.process.pid,
                                                                      inodes.values()):
                return True
            time.sleep(0.05)
        return False

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def url(self, path="/", host="127.0.0.1"):
        if ":" in host:
            host = "[%s]" % host
        return "%s://%s:%d%s" % (self.scheme, host, self.port, path)

    def info(self):
        values = {"kind": self.kind, "host": "127.0.0.1", "port": str(self.port),
                  "url": self.url(), "folder": self.folder, "output": self.output}
        if self.ipv6:
            values["url6"] = self.url(host="::1")
        values.update(self.logs())
        return values

    def access_log(self, at_least=0, timeout=30.0):
        """The access log, waiting until it has at_least entries: servers
        write a line only after the answer went out."""
        deadline = time.monotonic() + timeout
        while True:
            entries = read_access_log(self.logs().get("access_log", ""))
            if len(entries) >= at_least or time.monotonic() > deadline:
                return entries
            time.sleep(0.02)

    def __enter__(self):
        return self.start()

    def __exit__(self, *_):
        self.stop()


class _WebServer(Server):
    """A static web server with a document root inside its folder."""

    def __init__(self, parent, ipv6=False):
        super().__init__(parent, ipv6)
        self.root = os.path.join(self.folder, "root")
        os.makedirs(self.root)

    def put(self, relative, content):
        """Writes a file under the document root (bytes or text)."""
        path = os.path.join(self.root, relative.lstrip("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode())
        return path

    def logs(self):
        return {"access_log": os.path.join(self.folder, "access.log"),
                "error_log": os.path.join(self.folder, "error.log"),
                "root": self.root}


class Nginx(_WebServer):
    """nginx with a static root: byte ranges, ETag, keep-alive, gzip on the
    fly and gzip_static (a "name.gz" beside "name" is sent as is).

    listen_options are appended to every listen directive ("ssl" for TLS);
    server_conf goes inside the server block (ssl_certificate, locations with
    auth_basic, ...), http_conf inside the http block. With "ssl" among the
    listen options the URLs use https.
    """

    kind = "nginx"

    def __init__(self, parent, ipv6=False, listen_options="", server_conf="", http_conf=""):
        super().__init__(parent, ipv6)
        self.listen_options = listen_options
        self.server_conf = server_conf
        self.http_conf = http_conf
        if "ssl" in listen_options.split():
            self.scheme = "https"

    def configure(self):
        f = self.folder
        temp = os.path.join(f, "temp")
        os.makedirs(temp, exist_ok=True)
        listens = "".join("    listen %s:%d %s;\n" % ("[%s]" % a if ":" in a else a, self.port,
                                                       self.listen_options)
                          for a in self.addresses)
        user = "user root;\n" if os.geteuid() == 0 else ""
        with open(os.path.join(f, "nginx.conf"), "w", encoding="ascii") as out:
            out.write(
                "daemon off;\nmaster_process off;\n%sworker_processes 1;\n"
                "pid %s/nginx.pid;\nerror_log %s/error.log info;\n"
                "events { worker_connections 256; }\n"
                "http {\n"
                "  include /etc/nginx/mime.types;\n"
                "  default_type application/octet-stream;\n"
                "  client_body_temp_path %s/body;\n  proxy_temp_path %s/proxy;\n"
                "  fastcgi_temp_path %s/fastcgi;\n  uwsgi_temp_path %s/uwsgi;\n"
                "  scgi_temp_path %s/scgi;\n"
                "  log_format testnet '$connection\\t$status\\t$body_bytes_sent\\t$request\\t"
                "$http_range\\t$http_user_agent\\t$remote_user';\n"
                "  access_log %s/access.log testnet;\n"
                "  keepalive_timeout 60s;\n  keepalive_requests 1000;\n"
                "  gzip on;\n  gzip_types *;\n  gzip_proxied any;\n  gzip_vary on;\n"
                "  gzip_static on;\n  etag on;\n"
                "%s\n"
                "  server {\n%s    server_name localhost;\n    root %s;\n%s\n  }\n"
                "}\n" % (user, f, f, temp, temp, temp, temp, temp, f, self.http_conf, listens,
                         self.root, self.server_conf))

    def command(self):
        return [_program("nginx"), "-p", self.folder + "/", "-e", os.path.join(self.folder, "error.log"),
                "-c", os.path.join(self.folder, "nginx.conf")]




def _write_basic_users(path, users):
    """An htpasswd file (apr1 MD5, which squid's helper reads too)."""
    open(path, "w").close()
    for user, password in users:
        subprocess.run([_program("htpasswd"), "-b", "-m", path, user, password], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


class Apache(_WebServer):
    """Apache httpd in one foreground process (-X) with a static root.

    With digest_users, "/digest/" under the root needs HTTP Digest
    authentication (mod_auth_digest, realm `realm`); with basic_users
    "/basic/" needs Basic. Users are (name, password) pairs. server_conf is
    appended to the configuration.
    """

    kind = "apache"
    MODULES = ("mpm_event", "authn_core", "authn_file", "authz_core", "authz_user",
               "auth_basic", "auth_digest", "mime", "dir", "headers")

    def __init__(self, parent, ipv6=False, digest_users=(), basic_users=(), realm="testrealm",
                 server_conf=""):
        super().__init__(parent, ipv6)
        self.digest_users = list(digest_users)
        self.basic_users = list(basic_users)
        self.realm = realm
        self.server_conf = server_conf
        for area in ("digest", "basic"):
            os.makedirs(os.path.join(self.root, area), exist_ok=True)

    def _write_digest_users(self, path, users):
        with open(path, "w", encoding="utf-8") as out:
            for user, password in users:
                ha1 = hashlib.md5(("%s:%s:%s" % (user, self.realm, password)).encode())
                out.write("%s:%s:%s\n" % (user, self.realm, ha1.hexdigest()))

    def _protected(self, area, kind, users, write):
        if not users:
            return ""
        password_file = os.path.join(self.folder, area + ".pw")
        write(password_file, users)
        extra = "  AuthDigestDomain /%s/\n" % area if kind == "Digest" else ""
        return ("<Location /%s/>\n  AuthType %s\n  AuthName \"%s\"\n%s"
                "  AuthUserFile %s\n  Require valid-user\n</Location>\n"
                % (area, kind, self.realm, extra, password_file))

    def configure(self):
        f = self.folder
        modules = "".join("LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so\n" % (m, m)
                          for m in self.MODULES)
        listens = "".join("Listen %s:%d\n" % ("[%s]" % a if ":" in a else a, self.port)
                          for a in self.addresses)
        digest = self._protected("digest", "Digest", self.digest_users, self._write_digest_users)
        basic = self._protected("basic", "Basic", self.basic_users, _write_basic_users)
        with open(os.path.join(f, "httpd.conf"), "w", encoding="utf-8") as out:
            out.write(
                "ServerRoot %s\nServerName 127.0.0.1\n%s"
                "PidFile %s/httpd.pid\nDefaultRuntimeDir %s\nMutex file:%s default\n"
                "ErrorLog %s/error.log\nLogLevel info\n%s"
                "TypesConfig /etc/mime.types\n"
                "KeepAlive On\nMaxKeepAliveRequests 1000\nKeepAliveTimeout 60\n"
                "LogFormat \"%%{remote}p\\t%%>s\\t%%B\\t%%r\\t%%{Range}i\\t%%{User-Agent}i\\t%%u\""
                " testnet\nCustomLog %s/access.log testnet\n"
                "DocumentRoot %s\n<Directory %s>\n  Require all granted\n</Directory>\n"
                "%s%s%s\n" % (f, listens, f, f, f, f, modules, f, self.root, self.root, digest,
                              basic, self.server_conf))

    def command(self):
        return [_program("apache2"), "-X", "-d", self.folder, "-f", os.path.join(self.folder, "httpd.conf")]


class Squid(Server):
    """squid as a forward proxy (no cache), CONNECT allowed to every port.

    auth: "none" (open proxy on loopback), "basic" (basic_ncsa_auth),
    "digest" (digest_file_auth) or "both" (both schemes offered). users are
    (name, password) pairs, realm the realm of both schemes.
    """

    kind = "squid"
    HELPERS = "/usr/lib/squid"
    USER = "proxy"

    def __init__(self, parent, ipv6=False, auth="none", users=(), realm="testproxy"):
        super().__init__(parent, ipv6)
        if auth not in ("none", "basic", "digest", "both"):
            raise ValueError("auth must be none, basic, digest or both")
        self.auth = auth
        self.users = list(users)
        self.realm = realm

    def _auth_conf(self):
        if self.auth == "none":
            return "http_access allow all\n"
        f = self.folder
        conf = ""
        if self.auth in ("basic", "both"):
            _write_basic_users(os.path.join(f, "basic.pw"), self.users)
            conf += ("auth_param basic program %s/basic_ncsa_auth %s/basic.pw\n"
                     "auth_param basic realm %s\n" % (self.HELPERS, f, self.realm))
        if self.auth in ("digest", "both"):
            with open(os.path.join(f, "digest.pw"), "w", encoding="utf-8") as out:
                out.writelines("%s:%s\n" % (u, p) for u, p in self.users)
            conf += ("auth_param digest program %s/digest_file_auth %s/digest.pw\n"
                     "auth_param digest realm %s\n" % (self.HELPERS, f, self.realm))
        return conf + "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n"

    def configure(self):
        f = self.folder
        listens = "".join("http_port %s:%d\n" % ("[%s]" % a if ":" in a else a, self.port)
                          for a in self.addresses)
        with open(os.path.join(f, "squid.conf"), "w", encoding="utf-8") as out:
            out.write(
                "%svisible_hostname testnet\npid_filename %s/squid.pid\n"
                "cache_log %s/error.log\n"
                "logformat testnet %%>p\t%%>Hs\t%%<st\t%%rm %%ru HTTP/%%rv\t%%{Range}>h\t"
                "%%{User-Agent}>h\t%%un\n"
                "access_log stdio:%s/access.log testnet\ncache_store_log none\n"
                "cache deny all\ncoredump_dir %s\nnetdb_filename none\n"
                "icp_port 0\nhtcp_port 0\npinger_enable off\nshutdown_lifetime 0 seconds\n"
                "%s" % (listens, f, f, f, f, self._auth_conf()))
            if os.geteuid() == 0:
                out.write("cache_effective_user %s\n" % self.USER)
        if os.geteuid() == 0:
            # squid refuses to run as root and drops to its own user, which
            # must still reach its folder.
            _make_traversable(f, self.parent, pwd.getpwnam(self.USER))

    def command(self):
        return [_program("squid"), "-N", "-f", os.path.join(self.folder, "squid.conf")]

    def logs(self):
        return {"access_log": os.path.join(self.folder, "access.log"),
                "error_log": os.path.join(self.folder, "error.log")}


class Tinyproxy(Server):
    """tinyproxy on 127.0.0.1, with Basic authentication when a user is given."""

    kind = "tinyproxy"

    def __init__(self, parent, user=None, password=None):
        super().__init__(parent)
        self.user = user
        self.password = password

    def configure(self):
        f = self.folder
        lines = ["Port %d" % self.port, "Listen 127.0.0.1", "Timeout 30", "MaxClients 50",
                 "LogLevel Info", "LogFile \"%s/error.log\"" % f, "PidFile \"%s/tinyproxy.pid\"" % f,
                 "DisableViaHeader Yes", "XTinyproxy No"]
        if self.user is not None:
            lines.append("BasicAuth %s %s" % (self.user, self.password))
        with open(os.path.join(f, "tinyproxy.conf"), "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")

    def command(self):
        return [_program("tinyproxy"), "-d", "-c", os.path.join(self.folder, "tinyproxy.conf")]

    def logs(self):
        return {"error_log": os.path.join(self.folder, "error.log")}


class Scripted(Server):
    """The scripted raw-socket server of scripted.py, run inside this process.

    connections: one script per accepted connection in order; otherwise: the
    script of every later connection (None closes them at once).
    """

    kind = "scripted"

    def __init__(self, parent, connections, otherwise=None, ipv6=False):
        super().__init__(parent, ipv6)
        self.server = ScriptedServer(self.folder, connections, otherwise, self.addresses)

    def start(self):
        self.port = self.server.start()
        return self

    def stop(self):
        self.server.stop()

    def logs(self):
        return {"requests_log": self.server.requests_path}

    def requests(self):
        return self.server.requests()

    def received(self, conn):
        return self.server.received(conn)


KINDS = {"nginx": Nginx, "apache": Apache, "squid": Squid, "tinyproxy": Tinyproxy,
         "scripted": Scripted}

