#include "browser/RecordCommands.h"

#include "browser/TextValue.h"
#include "model/CTLDoc.h"
#include "model/Definitions.h"

#include <algorithm>

namespace browser {

using model::FieldType;

std::string outsideRecordMessage(const std::string& name)
{
    return name + " lies outside the data of its record.";
}

std::vector<int> fieldsOf(const model::CTLDoc& doc, int record)
{
    std::vector<int> out;
    if (!doc.isRecord(record))
        return out;
    for (int j = record + 1; j <= doc.highestIndex() && doc.entry(j).parent == record; ++j)
        out.push_back(j);
    return out;
}

CommitResult commitValue(model::CTLDoc& doc, int i, std::string_view text)
{
    CommitResult r;
    if (!doc.validIndex(i) || i == 0 || doc.outsideRecord(i))
        return r;
    const FieldType t = doc.entry(i).type;
    if (!model::isInPlaceType(t))
        return r;
    const model::Validation v = model::validate(t, text);
    if (!v.accepted) {
        r.message = v.message;
        r.refill = v.refill;
        return r;
    }
    const auto d = doc.data(i);
    std::vector<std::uint8_t> bytes(d.begin(), d.end());
    if (!model::encodeValue(t, text, bytes))
        return r;
    // The same bytes again (the value typed as it was) change nothing.
    doc.setBytes(i, 0, bytes);
    r.accepted = true;
    return r;
}

bool toggleBoolEntry(model::CTLDoc& doc, int i)
{
    if (!doc.validIndex(i) || i == 0 || doc.entry(i).type != FieldType::Bool || doc.outsideRecord(i))
        return false;
    const auto d = doc.data(i);
    std::vector<std::uint8_t> bytes(d.begin(), d.end());
    if (!model::valueFits(FieldType::Bool, bytes.size()) || !model::toggleBool(bytes))
        return false;
    return doc.setBytes(i, 0, bytes).has_value();
}

bool applyHexCopy(model::CTLDoc& doc, int i, std::span<const std::uint8_t> copy)
{
    if (!doc.validIndex(i) || i == 0)
        return false;
    if (doc.data(i).size() != copy.size())
        return false;
    // OK without edits writes nothing and leaves the modified state alone.
    doc.setBytes(i, 0, copy);
    return true;
}

namespace {
// [start, end) of a text field's room inside its record's data; empty when none.
std::pair<std::size_t, std::size_t> textSlotRange(const model::CTLDoc& doc, int i)
{
    if (!doc.isField(i) || doc.entry(i).type != FieldType::Text)
        return {0, 0};
    const int rec = doc.entry(i).parent;
    const std::size_t start = doc.entry(i).fieldOffset;
    std::size_t end = doc.data(rec).size();
    if (start >= end)
        return {0, 0};
    for (int f : fieldsOf(doc, rec))
        if (f != i && doc.entry(f).fieldOffset > start)
            end = std::min<std::size_t>(end, doc.entry(f).fieldOffset);
    return {start, end};
}
} // namespace

std::span<const std::uint8_t> textFieldSlot(const model::CTLDoc& doc, int i)
{
    const auto [start, end] = textSlotRange(doc, i);
    if (start == end)
        return {};
    return doc.data(doc.entry(i).parent).subspan(start, end - start);
}

TextStore storeText(model::CTLDoc& doc, int i, std::string_view text)
{
    if (!doc.validIndex(i) || i == 0 || doc.entry(i).type != FieldType::Text)
        return TextStore::NotText;
    if (doc.isRecord(i)) {
        doc.setRecordData(i, model::composeText(text));
        return TextStore::Stored;
    }
    // The slot starts at the field's own offset: entry offset 0.
    const auto slot = textFieldSlot(doc, i);
    std::vector<std::uint8_t> bytes(slot.begin(), slot.end());
    if (!writeTextInSlot(bytes, text))
        return TextStore::TooLong;
    doc.setBytes(i, 0, bytes);
    return TextStore::Stored;
}

std::string textTooLongMessage(const model::CTLDoc& doc, int i)
{
    const auto [start, end] = textSlotRange(doc, i);
    const std::size_t room = end - start;
    const std::string most = std::to_string(room == 0 ? 0 : room - 1);
    return "The text does not fit in the space of " + doc.entry(i).name + " inside its record: at most "
            + most + " characters. Nothing was changed.";
}

std::optional<std::vector<std::uint8_t>> recordBlock(const model::CTLDoc& doc, int i)
{
    if (!doc.isRecord(i))
        return std::nullopt;
    const auto e = doc.entry(i);
    return encodeRecordBlock(e.id, doc.data(i));
}

bool addRecordBefore(model::CTLDoc& doc, int i, const ClipRecord& rec)
{
    if (!doc.isRecord(i))
        return false;
    return doc.insertRecord(i, rec.id, rec.data).has_value();
}

ReplaceResult replaceRecord(model::CTLDoc& doc, int i, const ClipRecord& rec)
{
    if (!doc.isRecord(i))
        return ReplaceResult::NotARecord;
    if (doc.entry(i).id != rec.id)
        return ReplaceResult::OtherRecord;
    // The same data again changes nothing.
    doc.setRecordData(i, rec.data, "Replace Record " + model::hexId(rec.id) + " " + doc.entry(i).name);
    return ReplaceResult::Replaced;
}

bool removeRecordAt(model::CTLDoc& doc, int i)
{
    return doc.isRecord(i) && doc.removeRecord(i).has_value();
}

} // namespace browser
