// The INI reader and the editor's two definition lookups on any text.
// Input: [u32 record id][definition text]. Besides the given id, every
// section named in the text is looked up as a record with fields.
#include "FuzzInput.h"

#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/Ini.h"

#include <string_view>

using namespace model;

namespace {

void checkValue(const std::string& v)
{
    FUZZ_CHECK(v.size() <= Ini::kMaxValue);
}

void lookUp(const Ini& ini, std::uint32_t id)
{
    RecordDefinition r = ReadRecordDefinition(ini, id);
    FUZZ_CHECK(r.name.size() + r.typeKeyword.size() <= Ini::kMaxValue);
    checkValue(r.help);
    FUZZ_CHECK(r.help.find('|') == std::string::npos);
    (void)lookupType(r.typeKeyword);

    for (int n = 0; n <= kMaxFieldNumber + 1; ++n) {
        auto f = ReadFieldDefinition(ini, id, n);
        if (n < 1 || n > kMaxFieldNumber) {
            FUZZ_CHECK(!f);
            continue;
        }
        if (!f)
            continue;
        FUZZ_CHECK(f->typeKeyword.size() + f->name.size() <= Ini::kMaxValue);
        checkValue(f->help);
        FUZZ_CHECK(f->help.find('|') == std::string::npos);
        (void)lookupType(f->typeKeyword);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint32_t id = in.u32();
    const std::string_view text = fuzz::asText(in.rest());
    const Ini ini = Ini::parse(text);

    lookUp(ini, id);

    // Sections of the text, read the way a record id names them.
    int sections = 0;
    for (std::size_t pos = 0; pos < text.size() && sections < 8;) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        std::size_t lb = line.find_first_not_of(" \t");
        if (lb != std::string_view::npos && line[lb] == '[') {
            std::string_view name = line.substr(lb + 1);
            name = name.substr(0, name.find(']'));
            (void)ini.hasSection(name);
            checkValue(ini.get(name, "1", "none"));
            lookUp(ini, parseHexPrefix(name));
            ++sections;
        }
        pos = end + 1;
    }
    return 0;
}
