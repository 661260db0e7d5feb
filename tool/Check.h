#pragma once
// The check command: what is wrong in a definition file, and what AIR files
// show about it and about their stamps.
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace patchwise {

struct DefinitionProblem {
    std::size_t line = 0; // 1-based; 0 for the file as a whole
    std::string message;
};

// A field of a record's section as the checks of AIR files need it.
struct CheckedField {
    std::size_t line = 0;
    std::string name;
    std::uint32_t offset = 0;
    std::uint32_t width = 0; // 0: unknown extent (a text, no type)
};

// One reading of a definition file for both programs' rules: the problems,
// and per record id the fields of its first section.
class DefinitionCheck {
public:
    explicit DefinitionCheck(std::string_view text);

    const std::vector<DefinitionProblem>& problems() const { return problems_; }
    bool names(std::uint32_t id) const;
    // The fields of a record with a section, when its type lets them count.
    const std::vector<CheckedField>* fieldsOf(std::uint32_t id) const;

private:
    struct Section {
        std::uint32_t id = 0;
        bool counts = false; // the first section of its id
        std::vector<CheckedField> fields;
        std::unordered_map<long, std::size_t> keys; // field number -> line
        std::vector<std::pair<long, std::size_t>> helps; // field number, line
    };
    enum class Where { Before, Records, Fields, Other }; // the kind of section being read
    Where sectionHeader(std::size_t line, std::string_view trimmed, Section& s);
    void entryLine(Where where, Section& s, std::size_t line, std::string_view text);
    void recordLine(std::size_t line, std::string_view key, std::string_view value);
    void fieldLine(Section& s, std::size_t line, std::string_view key, std::string_view value);
    void endSection(Section& s);
    void endFile();
    void problem(std::size_t line, std::string message);

    std::vector<DefinitionProblem> problems_;
    bool recordsSeen_ = false;
    std::unordered_map<std::uint32_t, std::size_t> recordLine_; // id -> its first line
    std::unordered_map<std::uint32_t, std::string> recordType_; // id -> keyword, lower case
    std::vector<std::pair<std::uint32_t, std::size_t>> helps_; // id, line
    std::unordered_map<std::uint32_t, std::size_t> sectionLine_; // id -> its first header
    std::unordered_map<std::uint32_t, std::vector<CheckedField>> fields_;
};

// What one AIR file shows: its stamp, the ids the definitions do not name,
// and fields that do not fit its records. Lines start with `name`; each but
// an intact or missing stamp is a problem.
std::vector<std::string> checkAirFile(const std::string& name, std::span<const std::uint8_t> file,
        const DefinitionCheck& check, int* problems);

// "check [--definitions F] [AIRFILE...]": 0 clean, 1 problems, 2 trouble.
int runCheck(const std::string& definitionPath, const std::vector<std::string>& airs, std::ostream& out,
        std::ostream& err);

} // namespace patchwise
