#pragma once
// The records of two files and which record of one is which of the other.
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace diff {

using ByteView = std::span<const std::uint8_t>;

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct Record {
    std::uint32_t id = 0;
    std::size_t occurrence = 0; // 0 for the first record with this id
    ByteView data;
};

// A file's records in file order, found by id and occurrence; the bytes after
// the last record that are too few for one are its trailer. The bytes stay
// the caller's.
class RecordList {
public:
    void add(std::uint32_t id, ByteView data);
    void setTrailer(ByteView trailer) { trailer_ = trailer; }

    const std::vector<Record>& records() const { return records_; }
    const Record& operator[](std::size_t i) const { return records_[i]; }
    std::size_t size() const { return records_.size(); }
    ByteView trailer() const { return trailer_; }
    // The indexes of the records with this id, in file order (none: empty).
    const std::vector<std::size_t>& withId(std::uint32_t id) const;
    // How many records had this id before the next one added with it.
    std::size_t count(std::uint32_t id) const { return withId(id).size(); }
    // The occurrence-th record with this id, or kNone.
    std::size_t find(std::uint32_t id, std::size_t occurrence) const;

private:
    std::vector<Record> records_;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> byId_;
    ByteView trailer_;
};

// Records matched by id and occurrence: the k-th record with an id in the old
// file is the k-th with that id in the new one.
struct Matching {
    std::vector<std::size_t> newOf; // per old record: its new record, or kNone
    std::vector<std::size_t> oldOf; // per new record: its old record, or kNone
    bool reordered = false; // the matched records stand in another order
};

Matching matchRecords(const RecordList& oldList, const RecordList& newList);

} // namespace diff
