#pragma once
// The record list an update edits: the file's records in order, changed in
// place or replaced, removed and appended, written out as a new file once.
#include "base/Bytes.h"
#include "tool/AirWalk.h"
#include "tool/UpdateSource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace patchwise {

// The file being changed, as a list of its records in file order; the new
// file is written once, at the finish. Only the records a command touches are
// read and held; the others are copied from the file as it is written, so a
// script of N commands on a file of M bytes costs O(N + M) time and, beside
// the record list, memory for the bytes it touches. Every command sees what
// it would see walking the file from its start: the first record with an id,
// the records in order, new records after the last record the walk reaches.
class UpdateBuffer {
public:
    using Ref = std::uint32_t; // a record: an index into recs_, or kCut

    explicit UpdateBuffer(UpdateSource source) : source_(std::move(source))
    {
        std::size_t end = 0;
        source_.forEachRecord([&](const RecordSpan& r) {
            const Rec rec{r.data, r.id, r.length, kNone, kNone};
            if (r.present < r.length) {
                // Cut off by the end of the file: it stays last, and new
                // records go before it, or it would swallow them.
                cut_ = rec;
                cutPresent_ = static_cast<std::uint32_t>(r.present);
                ++count_;
            } else {
                add(rec);
            }
            end = r.data + r.present;
            return true;
        });
        // Fewer than 8 bytes after the last record: no header, kept at the end.
        tailFrom_ = end;
    }

    std::optional<Ref> find(std::uint32_t id) const
    {
        if (auto it = byId_.find(id); it != byId_.end() && it->second.first != kNone)
            return it->second.first;
        if (cut_ && cut_->id == id)
            return kCut;
        return std::nullopt;
    }
    std::uint32_t length(Ref r) const { return rec(r).length; }
    std::size_t present(Ref r) const { return r == kCut ? cutPresent_ : rec(r).length; }
    // The record's bytes, read from the file the first time.
    std::span<std::uint8_t> data(Ref r)
    {
        Rec& x = rec(r);
        if (x.own == kNone) {
            std::vector<std::uint8_t> bytes(present(r));
            source_.read(x.origin, bytes);
            setOwned(x, std::move(bytes));
        }
        return owned_[x.own];
    }

    void replaceData(Ref r, std::vector<std::uint8_t> bytes)
    {
        Rec& x = rec(r);
        x.length = static_cast<std::uint32_t>(bytes.size());
        setOwned(x, std::move(bytes));
        if (r == kCut)
            settleCut();
    }
    void grow(Ref r, std::uint32_t newLength)
    {
        std::span<const std::uint8_t> old = data(r);
        std::vector<std::uint8_t> bytes(newLength, 0);
        std::copy(old.begin(), old.end(), bytes.begin());
        Rec& x = rec(r);
        x.length = newLength;
        setOwned(x, std::move(bytes));
        if (r == kCut)
            settleCut();
    }
    void remove(Ref r)
    {
        --count_;
        if (r == kCut) {
            cut_.reset();
            return;
        }
        // Only the first record with an id is ever removed.
        Rec& x = recs_[r];
        auto& chain = byId_[x.id];
        chain.first = x.nextSame;
        if (chain.first == kNone)
            chain.second = kNone;
        if (x.own != kNone)
            std::vector<std::uint8_t>().swap(owned_[x.own]);
        x.own = kGone;
    }
    void append(std::uint32_t id, std::vector<std::uint8_t> bytes)
    {
        Rec x{0, id, static_cast<std::uint32_t>(bytes.size()), kNone, kNone};
        setOwned(x, std::move(bytes));
        add(x);
    }
    long long count() const { return count_; }

    // The new file: the records in order, the cut-off one, the stray bytes,
    // handed to put in pieces of at most kPiece bytes. Records nobody changed
    // are copied from the file in runs.
    template <typename Put>
    void write(Put&& put)
    {
        Pieces<Put> out(put);
        std::uint64_t from = 0, to = 0; // the run of the file not yet copied
        auto copyRun = [&] {
            out.copy(source_, from, to);
            from = to;
        };
        // Copies the run so far unless the next one continues it.
        auto runFrom = [&](std::uint64_t at) {
            if (at != to) {
                copyRun();
                from = to = at;
            }
        };
        auto emit = [&](const Rec& x, std::uint32_t present) {
            if (x.own == kNone) {
                // Its header and data are the file's own bytes.
                runFrom(x.origin - 8);
                to = x.origin + present;
                return;
            }
            copyRun();
            std::uint8_t header[8];
            for (int i = 0; i < 4; ++i) {
                header[i] = static_cast<std::uint8_t>(x.id >> (8 * i));
                header[4 + i] = static_cast<std::uint8_t>(x.length >> (8 * i));
            }
            out.add(header);
            out.add(owned_[x.own]);
        };
        for (std::size_t i = 0; i < recs_.size(); ++i)
            if (const Rec& x = recs_[i]; x.own != kGone)
                emit(x, x.length);
        if (cut_)
            emit(*cut_, cutPresent_);
        runFrom(tailFrom_);
        to = source_.size();
        copyRun();
        out.flush();
    }
    // Where the data of record r will start in the new file.
    std::uint64_t newOffset(Ref r) const
    {
        std::uint64_t at = 0;
        for (std::size_t i = 0; i < recs_.size() && i != r; ++i)
            if (const Rec& x = recs_[i]; x.own != kGone)
                at += 8 + x.length;
        return at + 8; // after the live records for the cut-off one
    }
    // How many bytes the new file has.
    std::uint64_t newSize() const
    {
        std::uint64_t total = source_.size() - tailFrom_;
        for (std::size_t i = 0; i < recs_.size(); ++i)
            if (const Rec& x = recs_[i]; x.own != kGone)
                total += 8 + x.length;
        if (cut_)
            total += 8 + cutPresent_;
        return total;
    }

    static constexpr std::size_t kPiece = std::size_t(1) << 20;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr Ref kCut = 0xFFFFFFFEu;

    static constexpr std::uint32_t kGone = 0xFFFFFFFDu;

    // 24 bytes, a million of them for a million records. Its data bytes are
    // as many as its length says, but for the cut-off record (cutPresent_).
    struct Rec {
        std::uint64_t origin; // its data in the file, while own is kNone
        std::uint32_t id;
        std::uint32_t length; // as the header says
        std::uint32_t own; // kNone, kGone (removed) or its data in owned_ once read or changed
        std::uint32_t nextSame; // the next record with this id
    };

    // The records in blocks that never move: the list grows without copies
    // and takes the memory it fills.
    class RecList {
    public:
        std::size_t size() const { return size_; }
        Rec& operator[](std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }
        const Rec& operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
        void push_back(const Rec& x)
        {
            if (size_ % kBlock == 0)
                blocks_.push_back(std::make_unique_for_overwrite<Rec[]>(kBlock));
            blocks_.back()[size_ % kBlock] = x;
            ++size_;
        }

    private:
        static constexpr std::size_t kBlock = 16384;
        std::vector<std::unique_ptr<Rec[]>> blocks_;
        std::size_t size_ = 0;
    };

    // Gathers the new file's bytes into pieces of kPiece for put.
    template <typename Put>
    class Pieces {
    public:
        explicit Pieces(Put& put) : put_(put), buf_(new std::uint8_t[kPiece]) {}
        void add(std::span<const std::uint8_t> bytes)
        {
            while (!bytes.empty()) {
                const std::size_t n = std::min(bytes.size(), kPiece - used_);
                std::copy_n(bytes.data(), n, buf_.get() + used_);
                used_ += n;
                bytes = bytes.subspan(n);
                if (used_ == kPiece)
                    flush();
            }
        }
        // Bytes [from, to) of the file, read straight into the piece.
        void copy(const UpdateSource& source, std::uint64_t from, std::uint64_t to)
        {
            while (from < to) {
                const std::size_t n =
                        static_cast<std::size_t>(std::min<std::uint64_t>(to - from, kPiece - used_));
                source.read(from, std::span(buf_.get() + used_, n));
                used_ += n;
                from += n;
                if (used_ == kPiece)
                    flush();
            }
        }
        void flush()
        {
            if (used_ > 0)
                put_(std::span<const std::uint8_t>(buf_.get(), used_));
            used_ = 0;
        }

    private:
        Put& put_;
        std::unique_ptr<std::uint8_t[]> buf_;
        std::size_t used_ = 0;
    };

    Rec& rec(Ref r) { return r == kCut ? *cut_ : recs_[r]; }
    const Rec& rec(Ref r) const { return r == kCut ? *cut_ : recs_[r]; }

    void add(Rec x)
    {
        if (recs_.size() >= kCut)
            throw std::length_error("too many records");
        const Ref at = static_cast<Ref>(recs_.size());
        x.nextSame = kNone;
        recs_.push_back(x);
        ++count_;
        auto [it, fresh] = byId_.try_emplace(x.id, at, at);
        if (fresh)
            return;
        if (it->second.second != kNone)
            recs_[it->second.second].nextSame = at;
        else
            it->second.first = at;
        it->second.second = at;
    }
    void setOwned(Rec& x, std::vector<std::uint8_t> bytes)
    {
        if (x.own != kNone) {
            owned_[x.own] = std::move(bytes);
        } else {
            x.own = static_cast<std::uint32_t>(owned_.size());
            owned_.push_back(std::move(bytes));
        }
    }
    // A cut-off record made whole is an ordinary last record.
    void settleCut()
    {
        Rec x = *cut_;
        cut_.reset();
        --count_;
        add(x);
    }

    UpdateSource source_;
    RecList recs_;
    std::optional<Rec> cut_;
    std::uint32_t cutPresent_ = 0;
    std::size_t tailFrom_ = 0;
    std::vector<std::vector<std::uint8_t>> owned_;
    // id -> (first live record, last record) of its chain
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> byId_;
    long long count_ = 0;
};

} // namespace patchwise
