#!/usr/bin/env python3
"""HTTP checks of "vellumar-cli serve" over an index of the sample photos: status codes and JSON of every
endpoint against what "search", "dump" and "tags" print, ids that name no record, paths that try to leave
the API, queries of any bytes, files that are not what a record promised, a missing, damaged and rewritten
index, the request log, usage errors and the exit status of Ctrl-C.

    serve_http.py CLI SOURCE_DIR BUILD_DIR
"""
import json
import os
import re
import shutil
import signal
import sys

from serve_support import CODEPAGE, HOSTILE_CAPTION, HOSTILE_FILE, HOSTILE_LAYERS, Checks, Server, make_home, run


def search_lines(cli, home, query):
    """What "vellumar-cli search" prints: (path, thumbnail) per hit."""
    out = run(cli, "search", "--home", home, "--codepage", CODEPAGE, query).stdout.decode("cp1252")
    return [tuple(line.split("\t")) for line in out.splitlines()]


def vm_rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    cli, source_dir, build_dir = sys.argv[1], sys.argv[2], sys.argv[3]
    work = os.path.join(build_dir, "cli-tests", "serve-http")
    pictures, home = make_home(cli, source_dir, work)
    t = Checks()
    dump = [json.loads(line) for line in
            run(cli, "dump", "--home", home, "--codepage", CODEPAGE).stdout.decode().splitlines()]
    server = Server(cli, "--home", home, "--codepage", CODEPAGE)
    requests = 0

    def get(path, **kwargs):
        nonlocal requests
        requests += 1
        return server.request(path, **kwargs)

    def get_json(path):
        status, headers, body = get(path)
        if not t.check(headers.get("content-type") == "application/json",
                       f"{path[:80]}: {status}, content type {headers.get('content-type')}"):
            return status, {}
        return status, json.loads(body)

    # The page, with its policy; the index's state.
    status, headers, body = get("/")
    t.check(status == 200 and b"<title>Vellumar search</title>" in body, f"/: {status}")
    t.check("script-src 'unsafe-inline'" in headers.get("content-security-policy", "") and
            headers.get("x-content-type-options") == "nosniff", f"/: security headers {headers}")
    status, answer = get_json("/api/status")
    t.check(status == 200 and answer["state"] == "ready" and answer["records"] == len(dump),
            f"/api/status: {status} {answer}")

    # Search: the hits of "vellumar-cli search", with the fields of "dump" and an id.
    by_path = {record["path"]: record for record in dump}
    all_hits = []
    for query, sent in [("lake", "lake"), ("LIGHTHOUSE", "LIGHTHOUSE"), ("", ""), ("pictures", "pictures"),
                        ("caf\u00e9", "caf%C3%A9"), ("script", "script"), ("Crème & jam", "Cr%C3%A8me+%26+jam")]:
        status, answer = get_json("/api/search?q=" + sent)
        expected = search_lines(cli, home, query.encode("cp1252"))
        got = [(hit["path"], hit["thumbnail"]) for hit in answer.get("hits", [])]
        t.check(status == 200 and got == expected and answer["count"] == len(expected),
                f"search {query!r}: {status} {got} != {expected}")
        t.check(list(answer.keys()) == ["query", "count", "start", "limit", "milliseconds", "hits"],
                f"search {query!r}: fields {list(answer.keys())}")
        for hit in answer.get("hits", []):
            record = dict(hit)
            t.check(list(record.keys())[0] == "id" and isinstance(record.pop("id"), int), f"hit without id: {hit}")
            t.check(record == by_path.get(hit["path"]), f"hit {hit} differs from its dump record")
        if query == "":
            all_hits = answer["hits"]
    status, answer = get_json("/api/search?q=&start=3&limit=2")
    t.check(status == 200 and answer["hits"] == all_hits[3:5] and answer["count"] == len(dump),
            f"start and limit: {answer}")

    # Each photo: its tags as "tags" prints them (also scaled), its file and its thumbnail, byte for byte.
    paths = [hit["path"] for hit in all_hits]
    plain = run(cli, "tags", "--codepage", CODEPAGE, *paths).stdout.decode().splitlines()
    scaled = run(cli, "tags", "--codepage", CODEPAGE, "--display", "640x480", *paths).stdout.decode().splitlines()
    for hit, expected, expected_scaled in zip(all_hits, plain, scaled):
        pid = hit["id"]
        status, _, body = get(f"/api/photo/{pid}/tags")
        t.check(status == 200 and json.loads(body) == json.loads(expected), f"tags of {hit['path']}")
        status, _, body = get(f"/api/photo/{pid}/tags?display=640x480")
        t.check(status == 200 and json.loads(body) == json.loads(expected_scaled), f"scaled tags of {hit['path']}")
        with open(hit["path"], "rb") as f:
            photo = f.read()
        status, headers, body = get(f"/api/photo/{pid}/image")
        t.check(status == 200 and body == photo and headers["content-type"] == "image/jpeg",
                f"image of {hit['path']}: {status}")
        with open(hit["thumbnail"], "rb") as f:
            thumbnail = f.read()
        status, headers, body = get(f"/api/photo/{pid}/thumbnail")
        t.check(status == 200 and body == thumbnail and headers["content-type"] == "image/bmp",
                f"thumbnail of {hit['path']}: {status}")
    t.check(len(plain) == len(all_hits) == len(scaled), f"{len(plain)} lines of tags for {len(all_hits)} photos")
    hostile = next((hit for hit in all_hits if hit["path"].endswith(HOSTILE_FILE)), None)
    t.check(hostile is not None and hostile["layers"] == HOSTILE_LAYERS and hostile["caption"] == HOSTILE_CAPTION,
            f"the photo with markup in its names: {hostile}")

    # Ids that name no record, and paths that try to reach a file.
    ids = sorted(hit["id"] for hit in all_hits)
    for pid in [ids[1] - 1, ids[1] + 1, ids[-1] + 1, 1 << 40, 9223372036854775807]:
        for what in ("tags", "image", "thumbnail"):
            status, answer = get_json(f"/api/photo/{pid}/{what}")
            t.check(status == 404 and "no photo" in answer.get("error", ""), f"id {pid} {what}: {status} {answer}")
    photo = os.path.join(pictures, "no_packet.jpg")
    for path in ["/api/photo/-1/image", "/api/photo/99999999999999999999/image", "/api/photo/x/image",
                 "/api/photo/../../../../etc/passwd", "/api/photo/%2e%2e/%2e%2e/etc/passwd",
                 "/api/photo/0%2f..%2f..%2fetc%2fpasswd/image", "/api/photo/0/image/../../../etc/passwd",
                 "/..%2f..%2f..%2fetc%2fpasswd", "//etc/passwd", "/etc/passwd", "/" + photo, "/%2F" + photo[1:],
                 "/api/photo/0/" + photo, "/api/photo/" + photo, "/api/image?path=" + photo, "/index.html",
                 "/api/photo/0/../0/image"]:
        status, headers, body = get(path)
        t.check(status == 404 and b"\xff\xd8" not in body and b"root:" not in body, f"{path}: {status}")

    # Queries of any bytes.
    status, answer = get_json("/api/search?q=caf%E9")  # the index's own code page: taken as it is
    t.check(status == 200 and answer["count"] == len(search_lines(cli, home, "caf\u00e9".encode("cp1252"))),
            f"query in code page 1252: {status} {answer.get('count')}")
    status, answer = get_json("/api/search?q=%FF%FE%00%C3%28%ED%A0%80")
    t.check(status == 200 and answer["count"] == 0 and "\ufffd" in answer["query"], f"invalid UTF-8: {status} {answer}")
    status, answer = get_json("/api/search?q=" + "%E2%82%AC" * 800)  # 2400 bytes, not in the index
    t.check(status == 200 and answer["count"] == 0, f"long query: {status}")
    status, headers, body = get("/api/search?q=" + "a" * 100 * 1024)
    t.check(status == 414 and b"too long" in body, f"100 KB query: {status} {body[:100]!r}")
    for path in ["/api/search", "/api/search?q=a&limit=x", "/api/search?q=a&limit=5000", "/api/search?q=a&start=-1",
                 f"/api/photo/{ids[0]}/tags?display=big"]:
        status, answer = get_json(path)
        t.check(status == 400 and answer.get("error"), f"{path}: {status} {answer}")
    status, _, _ = get("/api/status", headers={"Host": "photos.example.com"})
    t.check(status == 403, f"a foreign Host header: {status}")
    status, _, _ = get("/api/status", method="POST")
    t.check(status in (400, 404, 405), f"POST: {status}")

    # Files that are not what their record promised: gone, a pipe, not a JPEG, and a huge one.
    by_name = {os.path.basename(hit["path"]): hit for hit in all_hits}
    os.remove(os.path.join(pictures, "no_packet.jpg"))
    status, answer = get_json(f"/api/photo/{by_name['no_packet.jpg']['id']}/image")
    t.check(status == 404 and "cannot be opened" in answer.get("error", ""), f"removed photo: {status} {answer}")
    os.mkfifo(os.path.join(pictures, "no_packet.jpg"))
    for what in ("image", "tags"):
        status, answer = get_json(f"/api/photo/{by_name['no_packet.jpg']['id']}/{what}")
        t.check(status == 415, f"a pipe in place of the photo, {what}: {status} {answer}")
    with open(os.path.join(pictures, "no_packet_comment.jpg"), "wb") as f:
        f.write(b"GIF89a not a JPEG at all")
    status, answer = get_json(f"/api/photo/{by_name['no_packet_comment.jpg']['id']}/image")
    t.check(status == 415 and "not a JPEG" in answer.get("error", ""), f"not a JPEG: {status} {answer}")
    with open(by_name["no_packet_comment.jpg"]["thumbnail"], "wb") as f:
        f.write(b"\xff\xd8\xff a JPEG where the thumbnail should be")
    status, answer = get_json(f"/api/photo/{by_name['no_packet_comment.jpg']['id']}/thumbnail")
    t.check(status == 415, f"a thumbnail that is no bitmap: {status} {answer}")
    huge = os.path.join(pictures, "packet_regions.jpg")
    size = 128 << 20
    with open(huge, "r+b") as f:
        f.truncate(size)  # sparse: costs no disk
    before = vm_rss_kb(server.process.pid)
    status, headers, body = get(f"/api/photo/{by_name['packet_regions.jpg']['id']}/image")
    grown = vm_rss_kb(server.process.pid) - before
    t.check(status == 200 and len(body) == size and body[:3] == b"\xff\xd8\xff", f"huge photo: {status} {len(body)}")
    t.check(grown < 32 * 1024, f"the server grew by {grown} KB while sending a {size >> 20} MB photo")
    status, headers, body = get(f"/api/photo/{by_name['packet_regions.jpg']['id']}/image",
                                headers={"Range": "bytes=100-199"})
    t.check(status == 206 and len(body) == 100, f"range of the huge photo: {status} {len(body)}")

    # The index rewritten by a job while serving: the next request sees it.
    os.remove(os.path.join(pictures, "no_packet.jpg"))  # a pipe would hold the job up
    for name in ("no_packet.jpg", "packet_regions.jpg"):
        shutil.copy(os.path.join(source_dir, "samples", "photos", name), os.path.join(pictures, name))
    extra = os.path.join(work, "extra")
    os.makedirs(extra)
    shutil.copy(os.path.join(source_dir, "samples", "photos", "packet_search_words.jpg"),
                os.path.join(extra, "second_lake.jpg"))
    run(cli, "add-folder", "--home", home, "--codepage", CODEPAGE, extra, check=True)
    status, answer = get_json("/api/search?q=lake")
    t.check(status == 200 and answer["count"] == 2, f"search after add-folder: {answer.get('count')}")
    run(cli, "add-folder", "--home", home, "--codepage", CODEPAGE, pictures, check=True)
    status, answer = get_json("/api/search?q=")
    t.check(status == 200 and [(h["path"], h["thumbnail"]) for h in answer["hits"]] == search_lines(cli, home, b""),
            "search after a rewrite differs from vellumar-cli search")

    # A damaged index, then a missing one.
    index = os.path.join(home, "index")
    with open(index, "rb") as f:
        good = f.read()
    with open(index + ".tmp", "wb") as f:
        f.write(good + b"\x05\x00\x00\x00a.jpg" + b"\xff\xff\xff\x7f" + b"garbage" * 10)
    os.replace(index + ".tmp", index)
    for path in ["/", "/api/search?q=lake", "/api/status"]:
        status, _, body = get(path)
        t.check(status == 500 and (path == "/" or b"damaged" in body), f"damaged index, {path}: {status} {body[:120]!r}")
    os.remove(index)
    for path in ["/", "/api/search?q=lake", f"/api/photo/{ids[0]}/image"]:
        status, _, body = get(path)
        t.check(status == 503 and (path == "/" or b"no search index" in body), f"missing index, {path}: {status}")
    with open(index, "wb") as f:
        f.write(good)
    status, answer = get_json("/api/search?q=lake")
    t.check(status == 200 and answer["count"] == 2, f"the index back: {status}")

    # One log line per request, then Ctrl-C.
    log = server.read_log()
    lines = [line for line in log.splitlines() if re.match(r'^\S+ "\S+ \S+" \d{3} ', line)]
    t.check(len(lines) == requests, f"{len(lines)} log lines for {requests} requests")
    t.check(max(len(line) for line in log.splitlines()) < 400, "a log line longer than 400 characters")
    status = server.stop()
    t.check(status == 130, f"Ctrl-C: exit status {status}")

    # Usage errors, a folder that is not there, a port that is taken, an address that others reach.
    for args, expected in [(["--port", "x"], 2), (["--port", "70000"], 2), (["extra"], 2), (["--bind", ""], 2),
                           (["--frobnicate"], 2), (["--home", os.path.join(work, "nowhere")], 1)]:
        result = run(cli, "serve", *args)
        t.check(result.returncode == expected and result.stderr, f"serve {args}: {result.returncode}")
    first = Server(cli, "--home", home)
    result = run(cli, "serve", "--home", home, "--port", str(first.port))
    t.check(result.returncode == 1 and b"cannot listen" in result.stderr, f"a taken port: {result.returncode}")
    t.check(first.stop(signal.SIGTERM) == 143, "SIGTERM: exit status")
    # An address of the documentation range, which no interface has: the warning, then the refusal.
    result = run(cli, "serve", "--home", home, "--bind", "192.0.2.1", "--port", "0")
    t.check(result.returncode == 1 and b"visible to every computer" in result.stderr, "no warning for another network")
    return t.result("serve_http")


if __name__ == "__main__":
    sys.exit(main())
