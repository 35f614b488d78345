#!/usr/bin/env python3
"""The web server of the page annotator's download checks: well-behaved and hostile images on 127.0.0.1.

Listens on a port the system picks and prints it as its first line. Serves until it has run for
--lifetime seconds, so that it ends even when nobody stops it.

    /tagged.jpg   the tagged photo
    /split.jpg    the photo behind a 60 KB segment, sent in small pieces: its header spans many reads
    /huge.jpg     the photo's header, then 100 MB of image data at about 3 MB/s
    /endless.jpg  an endless header: 64 KB segments for ever, no length given
    /trickle.jpg  a header that never ends, its bytes dripping in one at a time after the first 4 KB
    /stall.jpg    the first part of the photo's header, then nothing
    /missing.jpg  404
"""
import argparse
import http.server
import sys
import threading
import time


def header_length(jpeg):
    """Bytes up to and including the start-of-scan segment."""
    position = 2
    while True:
        while jpeg[position] == 0xFF:
            position += 1
        marker = jpeg[position]
        length = jpeg[position + 1] * 256 + jpeg[position + 2]
        position += 1 + length
        if marker == 0xDA:
            return position


def segment(marker, payload):
    return bytes([0xFF, marker]) + (len(payload) + 2).to_bytes(2, "big") + payload


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # the body ends when the connection closes
    photo = b""
    deadline = 0.0

    def log_message(self, format, *args):
        pass

    def start(self, length=None):
        self.send_response(200)
        self.send_header("Content-Type", "image/jpeg")
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def send(self, data, pause=0.0):
        self.wfile.write(data)
        self.wfile.flush()
        if pause:
            time.sleep(pause)
        return time.time() < self.deadline

    def do_GET(self):
        photo = self.photo
        try:
            if self.path == "/tagged.jpg":
                self.start(len(photo))
                self.send(photo)
            elif self.path == "/split.jpg":
                body = photo[:2] + segment(0xE2, b"\0" * 60000) + photo[2:]
                self.start(len(body))
                for offset in range(0, len(body), 2048):
                    if not self.send(body[offset:offset + 2048], 0.01):
                        break
            elif self.path == "/huge.jpg":
                # At the pace of a fast line on the internet. Wine's HTTP client, when a request of known
                # length is closed early, first reads whatever the server has already sent, to keep the
                # connection; a local server that writes faster than that drain reads would keep it going
                # until the whole body is through, which says nothing about the download's own bounds.
                header = photo[:header_length(photo)]
                chunk = b"\0" * 65536
                self.start(len(header) + 1600 * len(chunk))
                self.send(header)
                for _ in range(1600):
                    if not self.send(chunk, 0.02):
                        break
            elif self.path == "/endless.jpg":
                self.start()
                self.send(photo[:2])
                filler = segment(0xE2, b"\0" * 65533)
                while self.send(filler):
                    pass
            elif self.path == "/trickle.jpg":
                self.start()
                self.send(photo[:2] + bytes([0xFF, 0xE2, 0xFF, 0xFF]) + b"\0" * 4096)
                while self.send(b"\0", 0.1):
                    pass
            elif self.path == "/stall.jpg":
                self.start(len(photo))
                self.send(photo[:header_length(photo) - 64])
                while time.time() < self.deadline:
                    time.sleep(0.2)
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            pass  # the client stopped reading: that is what a bounded download does


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--photo", required=True)
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()
    with open(args.photo, "rb") as file:
        Handler.photo = file.read()
    Handler.deadline = time.time() + args.lifetime

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
