#include "model/Definitions.h"

#include "model/FieldType.h"

#include <charconv>

namespace model {

namespace {
std::string barsToLines(std::string s)
{
    for (char& c : s)
        if (c == '|')
            c = '\n';
    return s;
}
} // namespace

std::string hexId(std::uint32_t id)
{
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, id, 16);
    return std::string(buf, res.ptr);
}

RecordDefinition ReadRecordDefinition(const Ini& ini, std::uint32_t id)
{
    const std::string key = hexId(id);
    const std::string value = ini.get("Records", key, kDefaultRecordValue);
    RecordDefinition def;
    const std::size_t comma = value.find(',');
    if (comma == std::string::npos) {
        def.typeKeyword = value;
    } else {
        def.name = value.substr(0, comma);
        def.typeKeyword = value.substr(comma + 1);
    }
    def.help = barsToLines(ini.get("Records", key + "h", kNoHelpText));
    return def;
}

std::optional<FieldDefinition> ReadFieldDefinition(const Ini& ini, std::uint32_t id, int n)
{
    if (n < 1 || n > kMaxFieldNumber)
        return std::nullopt;
    const std::string section = hexId(id);
    const std::string key = std::to_string(n);
    const std::string value = ini.get(section, key, "none");
    if (value == "none")
        return std::nullopt;
    FieldDefinition def;
    const std::size_t first = value.find(',');
    const std::size_t last = value.rfind(',');
    def.offset = parseHexPrefix(value.substr(0, first));
    if (first == std::string::npos) {
        def.offset = 0;
        def.name = value;
    } else if (first == last) {
        def.name = value.substr(first + 1);
    } else {
        def.typeKeyword = value.substr(first + 1, last - first - 1);
        def.name = value.substr(last + 1);
    }
    def.help = barsToLines(ini.get(section, key + "h", kNoHelpText));
    return def;
}

std::vector<ResolvedField> ReadRecordFields(const Ini& ini, std::uint32_t id, FieldType recordType)
{
    std::vector<ResolvedField> fields;
    if (recordType != FieldType::Record)
        return fields;
    for (int n = 1; n <= kMaxFieldNumber; ++n) {
        auto fd = ReadFieldDefinition(ini, id, n);
        if (!fd)
            break;
        const TypeLookup tl = lookupType(fd->typeKeyword);
        const bool nested = tl.type == FieldType::Record;
        fields.push_back({std::move(*fd), nested ? FieldType::Raw : tl.type, nested ? 0 : tl.size});
    }
    return fields;
}

} // namespace model
