#include "toolbar/jpeg_header_scanner.h"

#include <algorithm>

#include "taglib/jpeg_sections.h"

namespace {

// The section reader's limit: more fill bytes in a row than this are no JPEG stream.
constexpr int kMaxFillBytes = 6;

}  // namespace

// The steps follow JpegSectionList::ReadSections byte for byte, so that the header found here is exactly
// what a metadata-only load reads. Its limit on the number of sections is left to the load itself: a
// download that meets endless sections stops at its size cap.
size_t JpegHeaderScanner::Feed(const uint8_t* data, size_t size) {
    size_t used = 0;
    while (used < size && state == State::kNeedMore) {
        if (step == Step::kPayload) {
            const size_t taken = std::min(payloadLeft, size - used);
            payloadLeft -= taken;
            used += taken;
            if (payloadLeft == 0) {
                EndSegment();
            }
            continue;
        }
        const int byte = data[used++];
        switch (step) {
            case Step::kSoiFirst:
                step = Step::kSoiSecond;
                if (byte != 0xFF) {
                    state = State::kInvalid;
                }
                break;
            case Step::kSoiSecond:
                step = Step::kMarker;
                if (byte != kMarkerSoi) {
                    state = State::kInvalid;
                }
                break;
            case Step::kMarker:
                if (byte == 0xFF) {
                    if (++fillBytes > kMaxFillBytes) {
                        state = State::kInvalid;
                    }
                    break;
                }
                fillBytes = 0;
                marker = byte;
                step = Step::kLengthHigh;
                break;
            case Step::kLengthHigh:
                lengthHigh = byte;
                step = Step::kLengthLow;
                break;
            case Step::kLengthLow: {
                const int length = lengthHigh * 256 + byte;
                if (length < 2) {
                    state = State::kInvalid;
                    break;
                }
                payloadLeft = static_cast<size_t>(length - 2);
                step = Step::kPayload;
                if (payloadLeft == 0) {
                    EndSegment();
                }
                break;
            }
            case Step::kPayload:
                break;
        }
    }
    headerBytes += used;
    return used;
}

void JpegHeaderScanner::EndSegment() {
    step = Step::kMarker;
    if (marker == kMarkerSos) {
        state = State::kComplete;
    } else if (marker == kMarkerEoi) {
        state = State::kInvalid;
    }
}
