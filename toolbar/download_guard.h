// The bounds of every download the document handler makes of a page's image: how many bytes reach the
// file, how long a download may go without progress and in all, and when it is done. A page is untrusted
// input: its server may send an endless body, trickle bytes, or stall. The platform's download code
// feeds the guard what arrives and when, and stops the transfer once the guard has decided.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolbar/jpeg_header_scanner.h"
#include "toolbar/page_model.h"

struct DownloadLimits {
    uint64_t maxBytes = 0;  // the file never holds more
    uint32_t stallMs = 0;   // longest time without a byte arriving
    uint32_t totalMs = 0;   // longest time for the whole download
};

// An annotation pass needs only the JPEG header, which a photo keeps in its first few kilobytes, and 64 KB
// segments of an ICC profile or a preview add up to well under a megabyte in real files. 4 MB takes any
// real header with room to spare and keeps a hostile body from filling the disk.
constexpr uint64_t kMaxHeaderDownloadBytes = uint64_t{4} * 1024 * 1024;
// The context-menu copy is the whole image for the suite's other programs; camera photos stay far below
// this, and the temp folder never takes more for one copy.
constexpr uint64_t kMaxImageDownloadBytes = uint64_t{64} * 1024 * 1024;
// A server that sends nothing for this long is not serving the image: the pass goes on to the next one.
constexpr uint32_t kDownloadStallMs = 5000;
// A header is a few kilobytes, which even a slow line brings in well within this.
constexpr uint32_t kHeaderDownloadTotalMs = 15000;
// The browser opens its context menu only once the copy has returned, so a copy is given up after this;
// the image the user points at is normally in the browser's cache already.
constexpr uint32_t kImageDownloadTotalMs = 30000;

// The limits for a download of the given extent.
DownloadLimits LimitsFor(DownloadExtent extent);

enum class DownloadOutcome {
    kRunning,
    kHeaderComplete,  // the segments before the image data are all in the file
    kBodyComplete,    // the server's whole body is in the file
    kNotJpeg,         // the bytes cannot begin a header the tag reader accepts
    kCapped,          // the size cap came first
    kStalled,         // no byte for too long
    kTimedOut,        // the download as a whole took too long
    kCancelled,       // its pass ended, or the page went away
    kFailed,          // the transfer itself failed
};

class DownloadGuard {
public:
    DownloadGuard(DownloadExtent extent, const DownloadLimits& limits, uint64_t startMs);

    // Bytes that arrived at `nowMs`: returns how many of them, from their start, go into the file. The
    // outcome may be decided afterwards.
    size_t Receive(const uint8_t* data, size_t size, uint64_t nowMs);
    // The server's body ended, completely or not.
    void BodyEnded(bool complete);
    // Decides a stall or a timeout when its time has come.
    void CheckTime(uint64_t nowMs);
    void Cancel();

    DownloadOutcome Outcome() const { return outcome; }
    bool Finished() const { return outcome != DownloadOutcome::kRunning; }
    // Whether the file holds what its reader needs: the whole header, or the whole body.
    bool Succeeded() const;
    uint64_t BytesKept() const { return bytesKept; }
    // How long a wait for more data may last before CheckTime has something to decide.
    uint32_t MillisecondsToDeadline(uint64_t nowMs) const;

private:
    void Decide(DownloadOutcome decided);

    DownloadExtent extent;
    DownloadLimits limits;
    uint64_t startMs;
    uint64_t lastProgressMs;
    uint64_t bytesKept = 0;
    JpegHeaderScanner scanner;
    DownloadOutcome outcome = DownloadOutcome::kRunning;
};
