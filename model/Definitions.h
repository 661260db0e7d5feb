#pragma once
// The editor's two lookups in the record definition file.
#include "model/FieldType.h"
#include "model/Ini.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace model {

inline constexpr const char* kDefaultRecordValue = "Unknown,Unknown";
inline constexpr const char* kNoHelpText = "No help text in Tarlo.ini.";
inline constexpr int kMaxFieldNumber = 200;

// Lower-case hexadecimal without leading zeros ("%x").
std::string hexId(std::uint32_t id);

struct RecordDefinition {
    std::string name;
    std::string typeKeyword;
    std::string help; // '|' already turned into '\n'
};
RecordDefinition ReadRecordDefinition(const Ini& ini, std::uint32_t id);

struct FieldDefinition {
    std::uint32_t offset = 0;
    std::string typeKeyword;
    std::string name;
    std::string help; // '|' already turned into '\n'
};
// Field n (1..200) of record id; nullopt when the value is exactly "none"
// (the default) or n is out of range.
std::optional<FieldDefinition> ReadFieldDefinition(const Ini& ini, std::uint32_t id, int n);

// A field with its type looked up: one of type "record" has no extent of its
// own (raw, size 0).
struct ResolvedField {
    FieldDefinition definition;
    FieldType type = FieldType::Raw;
    std::uint32_t size = 0;
};
// The fields of a record of type "record", by number up to the first gap;
// none for a record of any other type.
std::vector<ResolvedField> ReadRecordFields(const Ini& ini, std::uint32_t id, FieldType recordType);

} // namespace model
