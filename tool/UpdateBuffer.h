#pragma once
// The record list an update edits: the file's records in order, changed in
// place or replaced, removed and appended, composed into a new file once.
#include "base/Bytes.h"
#include "tool/AirWalk.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace patchwise {

// The file being changed, as a list of its records in file order; the new
// file is composed once, at the finish. A record nobody changed stays a view
// into the bytes as read, so a script of N commands on a file of M bytes costs
// O(N + M) plus the bytes it changes. Every command sees what it would see
// walking the file from its start: the first record with an id, the records
// in order, new records after the last record the walk reaches.
class UpdateBuffer {
public:
    using Ref = std::uint32_t; // a record: an index into recs_, or kCut

    explicit UpdateBuffer(std::vector<std::uint8_t> bytes) : orig_(std::move(bytes))
    {
        std::size_t end = 0;
        forEachRecord(orig_, [&](const RecordSpan& r) {
            Rec rec;
            rec.id = r.id;
            rec.length = r.length;
            rec.origin = r.data;
            rec.present = r.present;
            if (r.present < r.length) {
                // Cut off by the end of the file: it stays last, and new
                // records go before it, or it would swallow them.
                cut_ = rec;
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
    std::size_t present(Ref r) const { return rec(r).present; }
    std::span<std::uint8_t> data(Ref r)
    {
        Rec& x = rec(r);
        if (x.own != kNone)
            return owned_[x.own];
        return std::span(orig_).subspan(x.origin, x.present);
    }

    void replaceData(Ref r, std::vector<std::uint8_t> bytes)
    {
        Rec& x = rec(r);
        x.length = static_cast<std::uint32_t>(bytes.size());
        x.present = bytes.size();
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
        x.present = newLength;
        setOwned(x, std::move(bytes));
        if (r == kCut)
            settleCut();
    }
    void remove(Ref r)
    {
        restructured_ = true;
        --count_;
        if (r == kCut) {
            cut_.reset();
            return;
        }
        // Only the first record with an id is ever removed.
        Rec& x = recs_[r];
        x.live = false;
        auto& chain = byId_[x.id];
        chain.first = x.nextSame;
        if (chain.first == kNone)
            chain.second = kNone;
        if (x.own != kNone)
            std::vector<std::uint8_t>().swap(owned_[x.own]);
    }
    void append(std::uint32_t id, std::vector<std::uint8_t> bytes)
    {
        restructured_ = true;
        Rec x;
        x.id = id;
        x.length = static_cast<std::uint32_t>(bytes.size());
        x.present = bytes.size();
        setOwned(x, std::move(bytes));
        add(x);
    }
    long long count() const { return count_; }

    // The new file: the records in order, the cut-off one, the stray bytes.
    std::vector<std::uint8_t> compose()
    {
        // Fields were assigned in place: an unchanged structure is the file itself.
        if (!restructured_)
            return std::move(orig_);
        std::size_t total = orig_.size() - tailFrom_;
        for (const Rec& x : recs_)
            if (x.live)
                total += 8 + x.present;
        if (cut_)
            total += 8 + cut_->present;
        std::vector<std::uint8_t> out;
        out.reserve(total);
        auto put = [&](const Rec& x) {
            base::bytes::appendLE(out, x.id);
            base::bytes::appendLE(out, x.length);
            if (x.own != kNone)
                out.insert(out.end(), owned_[x.own].begin(), owned_[x.own].end());
            else
                out.insert(out.end(), orig_.begin() + static_cast<std::ptrdiff_t>(x.origin),
                        orig_.begin() + static_cast<std::ptrdiff_t>(x.origin + x.present));
        };
        for (const Rec& x : recs_)
            if (x.live)
                put(x);
        if (cut_)
            put(*cut_);
        out.insert(out.end(), orig_.begin() + static_cast<std::ptrdiff_t>(tailFrom_), orig_.end());
        return out;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr Ref kCut = 0xFFFFFFFEu;

    struct Rec {
        std::uint32_t id = 0;
        std::uint32_t length = 0; // as the header says
        std::size_t origin = 0; // its data in orig_, while own is kNone
        std::size_t present = 0; // data bytes held
        std::uint32_t own = kNone; // its data in owned_ once changed
        std::uint32_t nextSame = kNone; // the next record with this id
        bool live = true;
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
        restructured_ = true;
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

    std::vector<std::uint8_t> orig_;
    std::vector<Rec> recs_;
    std::optional<Rec> cut_;
    std::size_t tailFrom_ = 0;
    std::vector<std::vector<std::uint8_t>> owned_;
    // id -> (first live record, last record) of its chain
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> byId_;
    long long count_ = 0;
    bool restructured_ = false;
};

} // namespace patchwise
