#pragma once
// The one thing a table window knows about the document: the bytes of the
// entry it edits. The document side implements this over its record list;
// tests implement it over a plain vector.
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tables {

// The entry's counterpart in the file the document is compared with.
struct TableReference {
    std::vector<std::uint8_t> bytes;
    QString file; // the file's name, for the windows' texts
};

class TableTarget {
public:
    virtual ~TableTarget();

    // The entry's current bytes (a record's data, or a field's extent).
    virtual std::vector<std::uint8_t> bytes() const = 0;
    // Shown after "Editing:" in the window title.
    virtual QString name() const = 0;
    // Writes the entry's bytes back. The table windows always hand back a
    // buffer of the same length as bytes() returned, so a field inside a
    // larger record can be written in place. false (with *error filled in)
    // refuses the write; the window then tells the user.
    virtual bool store(const std::vector<std::uint8_t>& newBytes, QString* error) = 0;
    // Sets the document's modified flag.
    virtual void markModified() = 0;
    // While a compare runs and the entry has a counterpart in the other
    // file: that counterpart's bytes. Windows draw it beside their values.
    virtual std::optional<TableReference> reference() const { return std::nullopt; }
};

} // namespace tables
