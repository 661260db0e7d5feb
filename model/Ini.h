#pragma once
// A reader for INI files with the semantics of the classic private-profile
// reader: section and key names match without regard to letter case, values
// are trimmed, one pair of enclosing single or double quotes is dropped and
// values are cut at 255 characters. Absent keys (and absent files) give the
// caller's default. The text is parsed once; lookups are hash-map look-ups.
//
// Choices where the classic reader is vague: the first occurrence of a key
// counts (a repeated section adds only keys it did not have yet); lines that
// start with ';' or '#' are comments; lines without '=' outside a section
// header are ignored; a line's CR is dropped; a leading UTF-8 BOM is skipped.
#include <string>
#include <string_view>
#include <unordered_map>

namespace model {

class Ini {
public:
    static constexpr std::size_t kMaxValue = 255;

    Ini() = default;
    static Ini parse(std::string_view text);
    // Reads and parses a file; a missing or unreadable file gives an empty Ini.
    static Ini load(const std::string& path);

    // The value of key in section, or def when absent.
    std::string get(std::string_view section, std::string_view key, std::string_view def) const;
    bool contains(std::string_view section, std::string_view key) const;
    bool hasSection(std::string_view section) const;
    bool empty() const { return sections_.empty(); }

private:
    using Keys = std::unordered_map<std::string, std::string>;
    std::unordered_map<std::string, Keys> sections_;
};

} // namespace model
