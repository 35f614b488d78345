// Finds, in a JPEG stream that arrives piece by piece, where the segments before the compressed image end:
// the bytes the tag reader's metadata-only load reads. A download of a page's image stops there, since
// nothing after them can change the tags.
#pragma once

#include <cstddef>
#include <cstdint>

class JpegHeaderScanner {
public:
    enum class State {
        kNeedMore,  // the header goes on past the bytes seen so far
        kComplete,  // the start-of-scan segment is whole: the header ends here
        kInvalid,   // the tag reader rejects these bytes whatever follows them
    };

    // Scans the next bytes of the stream. Returns how many of them belong to the header: all of them
    // while more are needed, the bytes up to the end of the start-of-scan segment once it is complete,
    // the bytes up to the fault once the stream is invalid. Bytes fed after a decision are not scanned.
    size_t Feed(const uint8_t* data, size_t size);

    State GetState() const { return state; }
    // Bytes of the stream that belong to the header so far.
    uint64_t HeaderBytes() const { return headerBytes; }

private:
    enum class Step { kSoiFirst, kSoiSecond, kMarker, kLengthHigh, kLengthLow, kPayload };

    void EndSegment();

    State state = State::kNeedMore;
    Step step = Step::kSoiFirst;
    int fillBytes = 0;
    int marker = 0;
    int lengthHigh = 0;
    size_t payloadLeft = 0;
    uint64_t headerBytes = 0;
};
