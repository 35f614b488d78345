"""Helpers of the "vellumar-cli serve" checks: a home folder indexed from the sample photos (plus one photo
whose names are markup), a server on 127.0.0.1 with a port of the system's choosing, and raw HTTP."""
import atexit
import http.client
import os
import select
import shutil
import signal
import subprocess
import sys
import time

# The name, caption and layer names of the photo that tries to get markup into the page.
HOSTILE_FILE = "<img src=x onerror=\"window.pwned=3\"> & 'name'.jpg"
HOSTILE_LAYERS = [
    "<script>document.title='pwned'</script>",
    "<img src=x onerror=\"window.pwned=1\">",
    "\"double\" & 'single' </span>",
]
HOSTILE_CAPTION = "<i>not italic</i> & \"quoted\""
CODEPAGE = "1252"


def escape_tag_text(text):
    """A text as the editor writes it into the packet (the tag library decodes these references)."""
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&apos;"))


def make_home(cli, source_dir, work):
    """Copies the sample photos to WORK/pictures, adds the hostile photo, and indexes the folder into
    WORK/home. Returns (pictures, home)."""
    sys.path.insert(0, os.path.join(source_dir, "samples"))
    import make_samples  # noqa: E402  (the sample maker's packet writer)

    if os.path.exists(work):
        shutil.rmtree(work)
    pictures = os.path.join(work, "pictures")
    shutil.copytree(os.path.join(source_dir, "samples", "photos"), pictures)
    with open(os.path.join(source_dir, "samples", "photos", "no_packet.jpg"), "rb") as f:
        base = f.read()
    layers = [make_samples.layer(i + 1, escape_tag_text(name), 40 + 90 * i, 60 + 50 * i)
              for i, name in enumerate(HOSTILE_LAYERS)]
    packet = make_samples.packet(layers, cap_text=escape_tag_text(HOSTILE_CAPTION))
    with open(os.path.join(pictures, HOSTILE_FILE), "wb") as f:
        f.write(make_samples.splice(base, [make_samples.app9(packet)]))
    home = os.path.join(work, "home")
    run(cli, "add-folder", "--home", home, "--codepage", CODEPAGE, pictures, check=True)
    return pictures, home


def run(cli, *args, check=False, timeout=120):
    result = subprocess.run([cli, *args], capture_output=True, timeout=timeout)
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(args)}: exit {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result


class Server:
    """vellumar-cli serve as a child process; its request log is collected from standard error. A server
    that a failed check left running is ended when the checks end."""

    def __init__(self, cli, *args):
        self.process = subprocess.Popen([cli, "serve", "--port", "0", *args], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        atexit.register(self.process.kill)
        self.log = b""
        line = b""
        deadline = time.monotonic() + 60
        while not line.endswith(b"\n"):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError(f"serve printed no address: {line!r} {self.log!r}")
            ready, _, _ = select.select([self.process.stdout], [], [], 0.2)
            if ready:
                line += os.read(self.process.stdout.fileno(), 1)
        self.url = line.decode().strip()
        self.host, port = self.url[len("http://"):].rstrip("/").rsplit(":", 1)
        self.port = int(port)

    def request(self, path, method="GET", headers=None):
        """One request on a fresh connection, the path sent exactly as given. (status, headers, body)."""
        connection = http.client.HTTPConnection(self.host, self.port, timeout=60)
        try:
            connection.putrequest(method, path, skip_host="Host" in (headers or {}), skip_accept_encoding=True)
            for name, value in (headers or {}).items():
                connection.putheader(name, value)
            connection.endheaders()
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def read_log(self):
        while True:
            ready, _, _ = select.select([self.process.stderr], [], [], 0.05)
            if not ready:
                break
            chunk = os.read(self.process.stderr.fileno(), 65536)
            if not chunk:
                break
            self.log += chunk
        return self.log.decode(errors="replace")

    def stop(self, sig=signal.SIGINT):
        """Stops the server as Ctrl-C does; returns its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log += self.process.stderr.read()
        return self.process.returncode


class Checks:
    """Collects failures; a check never stops the run."""

    def __init__(self):
        self.failures = 0

    def check(self, condition, message):
        if not condition:
            print("FAIL:", message)
            self.failures += 1
        return condition

    def result(self, name):
        print(f"{name}: {'ok' if self.failures == 0 else str(self.failures) + ' failures'}")
        return 1 if self.failures else 0
