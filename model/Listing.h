#pragma once
// The record tree of an AIR file as text or JSON: what `tarlo --list` prints.
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace model {

class CTLDoc;
class Ini;

struct ListingOptions {
    bool sorted = false; // records in order of their identifiers (stable)
    // Each table item is followed by its values, two blanks deeper: "[i] v"
    // for tbl16, "[i] x y" for tbldb, "row k: v v ..." for tbl3d, numbers as
    // the shortest text that reads back exactly. Raw records, raw fields and
    // trailing bytes are followed by their bytes in hex, 16 a line, each line
    // starting with the offset of its first byte ("0010: 4c 6f ...").
    bool values = false;
    // JSON instead of text (every value, table and byte; `values` is implied).
    bool json = false;
};

// The text listing of a loaded document (root line, entries, trailing bytes line).
std::string listDocument(const CTLDoc& doc, bool sorted, bool values = false);
// The same listing written to out as it is made; false when writing failed.
bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out);

// The listing of a file image walked directly with the definitions in defs:
// the same text a document loaded from the image lists, made without a
// record list and written to out in large blocks as it is made. The root
// line (JSON: "file") is fileName. False when writing failed.
bool writeImageListing(std::span<const std::uint8_t> image, std::string_view fileName, const Ini& defs,
        const ListingOptions& options, std::ostream& out);

// Reads the file at path and writes its listing. Returns the exit status: 0,
// or 1 after "<program>: <message>" on err when the file cannot be read or
// out cannot be written.
int listFile(const std::string& path, const std::string& definitionsPath, const ListingOptions& options,
        std::ostream& out, std::ostream& err, std::string_view program);

} // namespace model
