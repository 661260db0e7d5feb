#pragma once
// What the record editors do to the document, apart from any window: value
// commits, the bool toggle, hex write-back, text store, and the clipboard and
// removal commands. Each goes through the document's edit API, which marks
// the document modified, records the change for undo and tells the tree;
// writing the bytes an entry already holds changes nothing. The view shows
// the messages.
#include "browser/RecordClipboard.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {
class CTLDoc;
}

namespace browser {

inline constexpr const char* kWrongFormat = "The data in the clipboard is in the wrong format";
inline constexpr const char* kOtherRecord =
        "The record in clipboard is not the same one as\nthe one being replaced. Cancelling.";

// "<name> lies outside the data of its record." -- no editor opens on it.
std::string outsideRecordMessage(const std::string& name);

// The list indexes of the fields of record i (empty for a non-record).
std::vector<int> fieldsOf(const model::CTLDoc& doc, int record);

// ---- values ----

struct CommitResult {
    bool accepted = false;
    std::string message; // refused: the message and the refill text
    std::string refill;
};
// Validates `text` for entry i's type and, when accepted, encodes it into the
// entry's bytes. Refused or not writable: nothing changes.
CommitResult commitValue(model::CTLDoc& doc, int i, std::string_view text);

// Toggles a "bool" entry; false when the entry is no bool or its bytes are
// not all there.
bool toggleBoolEntry(model::CTLDoc& doc, int i);

// Writes the hex dialog's working copy back over entry i's bytes. The copy
// must have the entry's length; otherwise nothing changes and false returns.
bool applyHexCopy(model::CTLDoc& doc, int i, std::span<const std::uint8_t> copy);

// ---- text values ----

// The room a "text" field has inside its record: from the field's offset up to
// the nearest start of another field of the record that lies after it, or up
// to the record's end. Empty for anything else.
std::span<const std::uint8_t> textFieldSlot(const model::CTLDoc& doc, int i);

enum class TextStore { Stored, TooLong, NotText };
// A record of type "text" gets a new block (characters and 0 byte); a "text"
// field is written in place when the text and its 0 byte fit its slot.
TextStore storeText(model::CTLDoc& doc, int i, std::string_view text);
std::string textTooLongMessage(const model::CTLDoc& doc, int i);

// ---- records ----

// The clipboard block of record i; nothing for a non-record.
std::optional<std::vector<std::uint8_t>> recordBlock(const model::CTLDoc& doc, int i);

// Inserts the record before record i; the list is rebuilt (ComposeImage +
// ReparseImage). False for a non-record i.
bool addRecordBefore(model::CTLDoc& doc, int i, const ClipRecord& rec);

enum class ReplaceResult { Replaced, OtherRecord, NotARecord };
// Replaces record i's data by the clipboard record's when the ids agree; the
// list is not rebuilt, so field entries keep their indexes.
ReplaceResult replaceRecord(model::CTLDoc& doc, int i, const ClipRecord& rec);

// Removes record i with its fields and rebuilds the list. False for a
// non-record.
bool removeRecordAt(model::CTLDoc& doc, int i);

} // namespace browser
