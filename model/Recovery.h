#pragma once
// The recovery record: a document's unsaved edits as bytes on disk, read back
// (whole or not at all) and replayed through the edit API after a kill.
//
// A record is the file as it was loaded or saved (path, size, modification
// time, a hash of its bytes) and every change published since then, in order,
// as record ordinals and bytes. Undo and redo publish what they did, so the
// list replayed as plain edits gives the state the document had.
#include "model/DocChange.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace model {
class CTLDoc;
}

namespace model::recovery {

inline constexpr std::uint32_t kVersion = 1;

// One published change, independent of list indexes and keys: `ordinal` is
// the record's place among the records (for Insert: where the new record
// stands; for Remove: where it stood).
struct Edit {
    ChangeKind kind = ChangeKind::Bytes;
    std::uint32_t ordinal = 0;
    std::uint32_t recordId = 0;
    std::uint64_t offset = 0; // Bytes: inside the record's data
    std::string label;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
    friend bool operator==(const Edit&, const Edit&) = default;
};

// The file the edits apply to, as it was loaded or last saved.
struct Base {
    std::string path;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const Base&, const Base&) = default;
};

struct Record {
    Base base;
    std::int64_t writtenAt = 0; // seconds since 1970 (UTC)
    std::vector<Edit> edits;
    friend bool operator==(const Record&, const Record&) = default;
};

// 64-bit FNV-1a: the hash of a base file's bytes and of record paths.
std::uint64_t hashBytes(std::span<const std::uint8_t> bytes);

// The CRC-32 (as zlib's) that ends a record.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// Layout (little-endian): "TARLOREC", u32 version, i64 time written, the
// base (path, size, time, hash), u32 edit count, the edits (kind, ordinal,
// id, offset, label, old and new bytes; texts and bytes length-prefixed),
// u32 CRC-32 of all before it.
std::vector<std::uint8_t> encode(const Record& record);
// Reads a whole record; on failure returns the reason (a sentence for the
// user) and leaves out untouched. Refuses any byte it cannot account for.
std::string decode(std::span<const std::uint8_t> bytes, Record& out);

// Replays the edits on doc, which must hold the base unmodified (just
// loaded). strict: each edit's old bytes must be the document's (the base
// is unchanged); otherwise the edits only need to fit. All or nothing: the
// edits are tried on a copy first, and doc is changed only when every one
// applies. Returns the reason for a refusal, empty on success.
std::string apply(CTLDoc& doc, const Record& record, bool strict);

// Keeps the edits of a document since its last load or save, ready to be
// written as a record. Cost per change: its bytes (plus a scan of the list
// after an insert or removal, which rebuilds the list anyway).
class Log : public DocListener {
public:
    explicit Log(CTLDoc& doc);
    ~Log() override;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    const Base& base() const
    {
        hashBase();
        return base_;
    }
    const std::vector<Edit>& edits() const { return edits_; }
    // Bumped by every change heard; a writer compares it with the one it wrote.
    std::uint64_t revision() const { return revision_; }
    Record snapshot(std::int64_t writtenAt) const;

    // An insert or removal composes a new image: the file's bytes are
    // hashed before it, if they were not yet.
    void aboutToChange(const Change&) override { hashBase(); }
    void changed(const Change& change) override;
    void loaded() override { restart(); }
    void saved() override { restart(); }

private:
    void restart();
    // The hash of the file's bytes, taken when first needed: a load of a large
    // file does not wait for it. The image stays the file's bytes until an
    // insert or removal composes a new one (aboutToChange comes first).
    void hashBase() const;
    std::uint32_t ordinalOf(int recordIndex);

    CTLDoc& doc_;
    mutable Base base_;
    mutable bool hashPending_ = false;
    std::vector<Edit> edits_;
    std::uint64_t revision_ = 0;
    // List indexes of the records, in order; rebuilt on demand after a change
    // of the list's shape.
    std::vector<int> recordIndexes_;
    bool indexesValid_ = false;
};

} // namespace model::recovery
