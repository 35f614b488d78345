#include "toolbar/download_guard.h"

#include <algorithm>

DownloadLimits LimitsFor(DownloadExtent extent) {
    if (extent == DownloadExtent::kJpegHeader) {
        return {kMaxHeaderDownloadBytes, kDownloadStallMs, kHeaderDownloadTotalMs};
    }
    return {kMaxImageDownloadBytes, kDownloadStallMs, kImageDownloadTotalMs};
}

DownloadGuard::DownloadGuard(DownloadExtent downloadExtent, const DownloadLimits& downloadLimits,
                             uint64_t start)
    : extent(downloadExtent), limits(downloadLimits), startMs(start), lastProgressMs(start) {}

size_t DownloadGuard::Receive(const uint8_t* data, size_t size, uint64_t nowMs) {
    if (Finished() || size == 0) {
        return 0;
    }
    lastProgressMs = nowMs;
    size_t wanted = size;
    if (extent == DownloadExtent::kJpegHeader) {
        wanted = scanner.Feed(data, size);
    }
    const uint64_t room = limits.maxBytes - bytesKept;
    if (wanted > room) {
        bytesKept = limits.maxBytes;
        Decide(DownloadOutcome::kCapped);
        return static_cast<size_t>(room);
    }
    bytesKept += wanted;
    if (extent == DownloadExtent::kJpegHeader) {
        if (scanner.GetState() == JpegHeaderScanner::State::kComplete) {
            Decide(DownloadOutcome::kHeaderComplete);
        } else if (scanner.GetState() == JpegHeaderScanner::State::kInvalid) {
            Decide(DownloadOutcome::kNotJpeg);
        }
    }
    return wanted;
}

void DownloadGuard::BodyEnded(bool complete) {
    Decide(complete ? DownloadOutcome::kBodyComplete : DownloadOutcome::kFailed);
}

void DownloadGuard::CheckTime(uint64_t nowMs) {
    if (nowMs - startMs >= limits.totalMs) {
        Decide(DownloadOutcome::kTimedOut);
    } else if (nowMs - lastProgressMs >= limits.stallMs) {
        Decide(DownloadOutcome::kStalled);
    }
}

void DownloadGuard::Cancel() {
    Decide(DownloadOutcome::kCancelled);
}

void DownloadGuard::Decide(DownloadOutcome decided) {
    if (outcome == DownloadOutcome::kRunning) {
        outcome = decided;
    }
}

bool DownloadGuard::Succeeded() const {
    return outcome == DownloadOutcome::kHeaderComplete || outcome == DownloadOutcome::kBodyComplete;
}

uint32_t DownloadGuard::MillisecondsToDeadline(uint64_t nowMs) const {
    const uint64_t deadline = std::min(startMs + limits.totalMs, lastProgressMs + limits.stallMs);
    return deadline > nowMs ? static_cast<uint32_t>(deadline - nowMs) : 0;
}
