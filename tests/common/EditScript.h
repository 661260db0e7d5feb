#pragma once
// A scripted series of edits for the recovery tests: from a seed, each step
// makes exactly one change of the document (bytes, new data, an added or a
// removed record, or an undo of an earlier edit), so a run of n steps and a
// recovery record of n edits describe the same state. No Qt.
#include "model/CTLDoc.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace airtest {

class EditScript {
public:
    explicit EditScript(std::uint32_t seed) : rng_(seed) {}

    // Makes one change; false only when the document has no data.
    bool step(model::CTLDoc& doc)
    {
        if (!doc.hasData())
            return false;
        for (;;) {
            const unsigned what = pick(10);
            const int rec =
                    nthRecord(doc, doc.recordCount() > 0 ? int(pick(unsigned(doc.recordCount()))) : -1);
            std::optional<model::Change> c;
            if (what < 5 && rec > 0 && !doc.data(rec).empty()) {
                const auto d = doc.data(rec);
                const std::size_t at = pick(unsigned(d.size()));
                const std::size_t n = std::min<std::size_t>(d.size() - at, 1 + pick(4));
                std::vector<std::uint8_t> b(n);
                for (auto& x : b)
                    x = std::uint8_t(pick(256));
                c = doc.setBytes(rec, at, b);
            } else if (what < 7 && rec > 0) {
                std::vector<std::uint8_t> b(pick(24));
                for (auto& x : b)
                    x = std::uint8_t(pick(256));
                c = doc.setRecordData(rec, b);
            } else if (what < 8) {
                const int before = rec > 0 ? rec : int(doc.entryCount());
                c = doc.insertRecord(before, 0x7000 + pick(16), std::vector<std::uint8_t>(pick(12), 0x42));
            } else if (what < 9 && rec > 0 && doc.recordCount() > 1) {
                c = doc.removeRecord(rec);
            } else if (!history_.empty()) {
                // Undo of the latest edit: published as what it did.
                if (doc.undo(history_.back())) {
                    history_.pop_back();
                    return true;
                }
                history_.clear();
            }
            if (c) {
                history_.push_back(*c);
                return true;
            }
        }
    }

private:
    unsigned pick(unsigned n) { return n == 0 ? 0 : unsigned(rng_() % n); }
    static int nthRecord(const model::CTLDoc& doc, int n)
    {
        for (int i = 1; n >= 0 && i <= doc.highestIndex(); ++i)
            if (doc.isRecord(i) && n-- == 0)
                return i;
        return -1;
    }

    std::mt19937 rng_;
    std::vector<model::Change> history_;
};

} // namespace airtest
