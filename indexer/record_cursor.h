// The one rule for reading the search index: where a record ends, and where the readable part of the
// file ends. The record reader, the rewrite, the search scan and dump all follow it through RecordCursor,
// so that they always agree on which records the file holds.
//
// Record layout, every length an unsigned 32-bit little-endian count of the text bytes after it, texts
// without terminator: path length, path, thumbnail length, thumbnail path, caption length, caption, layer
// count N, then N times a length and a layer name.
//
// The rule:
// - A path or thumbnail path longer than 260 bytes, or a caption longer than 20480, makes its record
//   unreadable: the readable part of the file ends where that record begins.
// - A layer name longer than 20480 ends the names of its record: the record holds the names before it,
//   and the next record begins right after that length field.
// - When the file ends inside a record, the record is read if its layer count is complete (with the names
//   that are complete), else it is not; either way the readable part of the file ends with the last
//   complete field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/little_endian.h"

constexpr uint32_t kMaxPathLength = 260;
constexpr uint32_t kMaxTextLength = 20480;

enum class RecordField : uint8_t { kPath, kThumbnail, kCaption, kLayerCount, kLayerName, kNone };

// Follows one record through its length fields: a reader hands it each four-byte value as it reads it,
// and the cursor says what follows.
class RecordCursor {
public:
    enum class Step : uint8_t {
        kText,        // TextLength() text bytes follow (none after the layer count)
        kNamesEnd,    // an over-long layer name: the record is complete without the rest of its names
        kUnreadable,  // an over-long path, thumbnail or caption: the record cannot be read
    };

    // The field whose four bytes come next; kNone once the record has no more length fields (the text
    // of the last one may still be due).
    RecordField Next() const { return next; }
    bool IsComplete() const { return next == RecordField::kNone; }
    Step Take(uint32_t value);
    uint32_t TextLength() const { return textLength; }
    // Whether readers return the record when the file ends before it is complete: once its layer count
    // has been read.
    bool IsReadableIfCut() const { return countRead; }
    // Back to the start of a record.
    void Restart() { *this = RecordCursor(); }

private:
    RecordField next = RecordField::kPath;
    uint32_t textLength = 0;
    uint32_t namesLeft = 0;
    bool countRead = false;
};

enum class RecordEnd : uint8_t {
    kComplete,    // the record is whole
    kCut,         // the bytes end inside the record
    kUnreadable,  // an over-long path, thumbnail or caption
};

struct RecordExtent {
    RecordEnd end = RecordEnd::kComplete;
    // Bytes of the record that readers use: for a complete record the distance to the next record, for
    // a cut one the bytes up to the end of its last complete field when it is readable (else 0).
    size_t size = 0;
    bool readable = false;    // whether readers return the record
    bool namesEnded = false;  // an over-long layer name ended its names
};

// Where the record that begins at `data` ends, `size` being every byte up to the end of the file. For
// scans that hold the whole file (a memory map); stream readers feed a RecordCursor themselves.
RecordExtent MeasureRecord(const uint8_t* data, size_t size);

// How a reader's pass over the index ended.
enum class IndexEnd : uint8_t {
    kClean,       // the file ends after a whole record (or is empty)
    kCutShort,    // the file ends inside its last record: a job stopped while writing it
    kUnreadable,  // a record with an over-long path, thumbnail or caption: nothing after it can be read
};

struct IndexStop {
    IndexEnd end = IndexEnd::kClean;
    int64_t readableEnd = 0;  // offset where the readable part ends (the file's size when kClean)
    // Some record's layer names were ended by an over-long name (readers went on after its length).
    bool namesEnded = false;
};
