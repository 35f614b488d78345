// The HTTP face of the index: the search page, the JSON API and the photos and thumbnails that records
// of the index name. It serves files only by record (a photo id), never by a path taken from a request,
// and it only reads.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

class IndexCatalog;

class PhotoServer {
public:
    // `log` gets one line per request (null: no log).
    PhotoServer(IndexCatalog& catalog, std::FILE* log);
    ~PhotoServer();
    PhotoServer(const PhotoServer&) = delete;
    PhotoServer& operator=(const PhotoServer&) = delete;

    // Takes the address and port (0: any free port). False with the reason in `error`.
    bool Bind(const std::string& address, int port, std::string& error);
    int Port() const;
    // The address of the search page, e.g. "http://127.0.0.1:8637/".
    std::string Url() const;

    // Answers requests until Stop is called (from any thread).
    void Run();
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// True for the addresses that only this computer reaches: 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);
