// The diff script's plan over the whole file: which records are deleted,
// changed where they stand or added at the end, and the check that the
// script gives the new file.
#include "tool/DiffScript.h"

#include "base/AsciiText.h"
#include "tool/AirWalk.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"
#include "tool/Update.h"

#include <algorithm>

namespace patchwise::diffing {

using text::dec;
using text::hex;

namespace {

bool sameButStamp(ByteView oldFile, ByteView newFile)
{
    Bytes a(oldFile.begin(), oldFile.end()), b(newFile.begin(), newFile.end());
    clearStamp(a);
    clearStamp(b);
    return a == b;
}

std::size_t firstIndex(const diff::RecordList& list, std::uint32_t id)
{
    const auto& indexes = list.withId(id);
    return indexes.empty() ? diff::kNone : indexes.front();
}

} // namespace

bool equalMasked(ByteView a, ByteView b, const std::vector<bool>& mask)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!mask[i] && a[i] != b[i])
            return false;
    return true;
}

DiffResult ScriptWriter::run(ByteView oldFile, ByteView newFile, bool keepOrder, bool* orderBroken)
{
    DiffResult result;
    if (sameButStamp(oldFile, newFile)) {
        // Nothing to carry over, but a silent empty script would hide that
        // the files are not byte for byte the same.
        if (!std::equal(oldFile.begin(), oldFile.end(), newFile.begin(), newFile.end()))
            result.text = "; only the update stamp differs; every update writes its own\n";
        return result;
    }
    result.different = true;
    const ParsedFile o = readRecords(oldFile, false), n = readRecords(newFile, false);
    const ByteView oldTrailer = o.list.trailer(), newTrailer = n.list.trailer();
    if (!std::equal(oldTrailer.begin(), oldTrailer.end(), newTrailer.begin(), newTrailer.end()))
        cannot("bytes after the last record (" + dec(newTrailer.size())
                + " of them; no command reaches them)");
    const Plan p = plan(o.list, n.list, keepOrder, orderBroken);

    newFirst404_ = firstIndex(n.list, kStampRecord);
    newFirst1199_ = firstIndex(n.list, kRevisionRecord);
    planRevision(oldFile, newFile, n.list);

    deleteLines(o.list, p);
    changeKept(o.list, n.list, p);
    changeCutRecord(o, n, p);
    appendLines(n.list, p);
    // The finish stores the revision text, wherever its line stands.
    if (revisionLine_ && revisionLine_->back() == '\n')
        out_ += "text revid " + *revisionLine_;
    out_ += last_;
    verify(oldFile, newFile);
    finish(result);
    return result;
}

ScriptWriter::Plan ScriptWriter::plan(
        const diff::RecordList& o, const diff::RecordList& n, bool keepOrder, bool* orderBroken)
{
    Plan p;
    // Each new record whose id occurs no more often than in the old file
    // is one of the old ones: the k-th of b new records with an id is the
    // (a - b + k)-th of the a old ones, since deletions take the first.
    p.oldOf.assign(n.size(), diff::kNone);
    for (std::size_t j = 0; j < n.size(); ++j) {
        const auto& olds = o.withId(n[j].id);
        const std::size_t a = olds.size(), b = n.count(n[j].id);
        if (b <= a)
            p.oldOf[j] = olds[a - b + n[j].occurrence];
    }
    // Records keep their order, and new ones can only go at the end: the
    // kept part is the longest start of the new file in old order; the
    // rest is appended (each of its ids deleted first).
    p.isKept.assign(n.size(), false);
    if (keepOrder) {
        std::size_t kept = 0;
        for (std::size_t last = 0; kept < n.size(); ++kept) {
            if (p.oldOf[kept] == diff::kNone || (kept > 0 && p.oldOf[kept] <= last))
                break;
            last = p.oldOf[kept];
            p.isKept[kept] = true;
        }
        for (std::size_t j = kept; j < n.size(); ++j)
            if (p.oldOf[j] != diff::kNone && orderBroken)
                *orderBroken = true;
    } else {
        for (std::size_t j = 0; j < n.size(); ++j)
            p.isKept[j] = p.oldOf[j] != diff::kNone;
        cannot("the order of the records (the script changes each record where it stands)");
    }
    for (std::size_t j = 0; j < n.size(); ++j) {
        if (p.isKept[j])
            ++p.keptCount[n[j].id];
        else
            p.lastAdded = j;
    }
    return p;
}

// Deletions first: each takes the first record with its id, so the record
// to change is then the first.
void ScriptWriter::deleteLines(const diff::RecordList& o, const Plan& p)
{
    for (const diff::Record& r : o.records()) {
        if (r.occurrence != 0)
            continue;
        auto k = p.keptCount.find(r.id);
        const std::size_t d = o.count(r.id) - (k == p.keptCount.end() ? 0 : k->second);
        for (std::size_t i = 0; i < d; ++i)
            out_ += "delete " + hex(r.id) + "\n";
    }
}

void ScriptWriter::changeKept(const diff::RecordList& o, const diff::RecordList& n, const Plan& p)
{
    for (std::size_t j = 0; j < n.size(); ++j) {
        if (!p.isKept[j])
            continue;
        const diff::Record& target = n[j];
        const diff::Record& source = o[p.oldOf[j]];
        std::vector<bool> mask = maskFor(j, target.data.size());
        if (target.occurrence == 0) {
            Bytes cur(source.data.begin(), source.data.end());
            change(target.id, cur, target.data, mask, false, true);
        } else if (!equalMasked(source.data, target.data, mask)) {
            cannot("a change to record " + hex(target.id, 4) + " number " + dec(target.occurrence + 1)
                    + " with this id (commands reach the first one only)");
        }
    }
}

void ScriptWriter::appendLines(const diff::RecordList& n, const Plan& p)
{
    std::unordered_map<std::uint32_t, bool> appended;
    for (std::size_t j = 0; j < n.size(); ++j) {
        if (p.isKept[j])
            continue;
        const diff::Record& target = n[j];
        if (n.count(target.id) != 1 || appended[target.id] || p.keptCount.count(target.id)) {
            cannot("record " + hex(target.id, 4) + " at position " + dec(j + 1)
                    + " (another record order, or a second record with this id after the others)");
            continue;
        }
        appended[target.id] = true;
        Bytes cur;
        change(target.id, cur, target.data, maskFor(j, target.data.size()), true, j == p.lastAdded);
    }
}

// A last record cut off by the end of the file stays last (new records go
// before it); field lines reach its bytes when it is the first record with
// its id.
void ScriptWriter::changeCutRecord(const ParsedFile& o, const ParsedFile& n, const Plan& p)
{
    if (!o.cut && !n.cut)
        return;
    if (o.cut && !n.cut && !p.keptCount.count(o.cut->id)) {
        // Gone, or replaced by a whole record that the appends bring.
        out_ += "delete " + hex(o.cut->id) + "\n";
        return;
    }
    if (o.cut && n.cut && o.cut->id == n.cut->id && o.cutLength == n.cutLength
            && o.cut->data.size() == n.cut->data.size()) {
        const diff::Record& t = *n.cut;
        if (std::equal(o.cut->data.begin(), o.cut->data.end(), t.data.begin()))
            return;
        std::string scratch;
        if (n.list.count(t.id) == 0 && defs_.definedRecordSize(t.id, defPath_, scratch) <= n.cutLength) {
            Bytes cur(o.cut->data.begin(), o.cut->data.end());
            fieldLines(t.id, cur, t.data, std::vector<bool>(t.data.size(), false), false);
            return;
        }
    }
    cannot("the last record, cut off by the end of the file");
}

void ScriptWriter::finish(DiffResult& result)
{
    result.text = "; update script made by patchwise diff\n" + notes_ + out_;
    result.warnings = warnings_;
}

void ScriptWriter::cannot(const std::string& what)
{
    notes_ += "; cannot express: " + what + "\n";
    warnings_.push_back("cannot express: " + what);
}

// Bytes whose value the update itself decides: the stamp slots of the first
// record 0x404, and the revision store when a "text revid" line writes it.
std::vector<bool> ScriptWriter::maskFor(std::size_t newIndex, std::size_t length) const
{
    std::vector<bool> mask(length, false);
    if (newIndex == newFirst404_)
        for (std::size_t k = 0; k < kStampSlots && stampSlot(k) < length; ++k)
            mask[stampSlot(k)] = true;
    if (newIndex == newFirst1199_ && revisionLine_)
        for (std::size_t k = 0; k <= revisionSlots_ && revisionSlot(k) < length; ++k)
            mask[revisionSlot(k)] = true;
    return mask;
}

// A "text revid" line when the new file's revision store is what storing its
// text gives: mark slots zero, the text, a zero byte.
void ScriptWriter::planRevision(ByteView oldFile, ByteView newFile, const diff::RecordList& n)
{
    const std::string oldRev = readRevision(oldFile), newRev = readRevision(newFile);
    if (oldRev == newRev || newRev.empty() || newFirst1199_ == diff::kNone)
        return;
    ByteView d = n[newFirst1199_].data;
    const std::size_t slots = (d.size() + 7) / 8;
    if (newRev.size() > kRevisionMaxStored || slots < 9 + newRev.size() + 1)
        return;
    for (std::size_t k = 0; k < 9; ++k)
        if (d[revisionSlot(k)] != 0)
            return;
    if (d[revisionSlot(9 + newRev.size())] != 0)
        return;
    if (base::ascii::isBlank(newRev.front()) || newRev.find('\0') != std::string::npos)
        return;
    auto lf = newRev.find('\n');
    if (lf != std::string::npos && lf + 1 != newRev.size())
        return;
    revisionLine_ = newRev;
    revisionSlots_ = 9 + newRev.size();
    // A text without a line break can only be the script's last line.
    if (newRev.back() != '\n')
        last_ = "text revid " + newRev;
}

// Runs the script as the update would and compares with the new file.
void ScriptWriter::verify(ByteView oldFile, ByteView newFile)
{
    ScriptResult sim = runUpdateScript(Bytes(oldFile.begin(), oldFile.end()), out_, defPath_, defs_, 0);
    Bytes want(newFile.begin(), newFile.end()), got = std::move(sim.file);
    // The time in the stamp is the update's own; its CRC must match.
    auto timeless = [](Bytes& b) {
        if (auto r = findFirstRecord(b, kStampRecord))
            for (std::size_t k = 12; k < kStampSlots - 1; ++k)
                if (stampSlot(k) < r->present)
                    b[r->data + stampSlot(k)] = 0;
    };
    timeless(want);
    timeless(got);
    if (got == want)
        return;
    Bytes a = got, b = want;
    clearStamp(a);
    clearStamp(b);
    // Only the stamp differs: the update writes its own, as it always does.
    if (a == b)
        return;
    if (!notes_.empty())
        return; // already explained
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    cannot("the new file as a whole: the script gives other bytes from offset 0x"
            + hex(static_cast<std::uint32_t>(at)));
}

} // namespace patchwise::diffing
