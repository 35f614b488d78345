#include "indexer/record_cursor.h"

RecordCursor::Step RecordCursor::Take(uint32_t value) {
    switch (next) {
        case RecordField::kPath:
        case RecordField::kThumbnail:
        case RecordField::kCaption: {
            const uint32_t limit = next == RecordField::kCaption ? kMaxTextLength : kMaxPathLength;
            if (value > limit) {
                return Step::kUnreadable;
            }
            next = next == RecordField::kPath        ? RecordField::kThumbnail
                   : next == RecordField::kThumbnail ? RecordField::kCaption
                                                     : RecordField::kLayerCount;
            textLength = value;
            return Step::kText;
        }
        case RecordField::kLayerCount:
            countRead = true;
            namesLeft = value;
            next = value > 0 ? RecordField::kLayerName : RecordField::kNone;
            textLength = 0;
            return Step::kText;
        case RecordField::kLayerName:
            if (value > kMaxTextLength) {
                next = RecordField::kNone;
                textLength = 0;
                return Step::kNamesEnd;
            }
            --namesLeft;
            next = namesLeft > 0 ? RecordField::kLayerName : RecordField::kNone;
            textLength = value;
            return Step::kText;
        case RecordField::kNone:
            break;
    }
    textLength = 0;
    return Step::kUnreadable;  // a length after the record's end belongs to the next record
}

RecordExtent MeasureRecord(const uint8_t* data, size_t size) {
    RecordCursor cursor;
    RecordExtent extent;
    size_t at = 0;
    auto cut = [&] {
        extent.end = RecordEnd::kCut;
        extent.readable = cursor.IsReadableIfCut();
        extent.size = extent.readable ? at : 0;
        return extent;
    };
    while (!cursor.IsComplete()) {
        if (size - at < 4) {
            return cut();
        }
        const RecordCursor::Step step = cursor.Take(ReadLittleEndian32(data + at));
        if (step == RecordCursor::Step::kUnreadable) {
            extent.end = RecordEnd::kUnreadable;
            return extent;
        }
        if (step == RecordCursor::Step::kNamesEnd) {
            at += 4;
            extent.namesEnded = true;
            break;
        }
        if (size - at - 4 < cursor.TextLength()) {
            return cut();
        }
        at += 4 + cursor.TextLength();
    }
    extent.end = RecordEnd::kComplete;
    extent.readable = true;
    extent.size = at;
    return extent;
}
