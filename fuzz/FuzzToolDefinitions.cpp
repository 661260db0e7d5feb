// Patchwise's own reading of the definition file and its lookups, on any text.
// Input: [u32 record id][definition text]. Besides the given id, every
// section header of the text is looked up.
#include "FuzzInput.h"

#include "tool/ToolDefinitions.h"

#include <cctype>

using namespace patchwise;

namespace {

void lookUp(ToolDefinitions& defs, std::uint32_t id, const std::string& path)
{
    RecordLookup r = defs.lookupRecord(id);
    (void)r;
    std::uint32_t fieldWidths = 0;
    const auto section = defs.sectionFields(id);
    FUZZ_CHECK(section.has_value() == defs.findRecordSection(id).has_value());
    FUZZ_CHECK(defs.findRecord(id).name == r.name && defs.findRecord(id).type == r.type);
    if (auto pos = defs.findRecordSection(id)) {
        std::size_t p = *pos;
        std::size_t walked = 0;
        // Every step moves forward: a section ends, however its lines look.
        for (int guard = 0; auto f = defs.nextFieldLine(p); ++guard) {
            FUZZ_CHECK(f->next > p);
            FUZZ_CHECK(guard < 100000);
            FUZZ_CHECK(f->field.typeName.size() <= 255 && f->field.name.size() <= 255);
            if (f->field.type)
                FUZZ_CHECK(lookupTypeName(f->field.typeName) == f->field.type);
            fieldWidths += std::uint32_t(typeWidth(f->field.type));
            // The section's field list is what the walk meets, in order.
            FUZZ_CHECK(walked < section->size());
            FUZZ_CHECK((*section)[walked].name == f->field.name && (*section)[walked].offset == f->field.offset);
            ++walked;
            p = f->next;
        }
        FUZZ_CHECK(walked == section->size());
    }
    std::string out;
    const std::uint32_t size = defs.definedRecordSize(id, path, out);
    FUZZ_CHECK(out.empty()); // already loaded: no second "Found" line
    if (r.type)
        FUZZ_CHECK(size == std::uint32_t(typeWidth(r.type)));
    else
        FUZZ_CHECK(size == fieldWidths);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint32_t id = in.u32();
    const auto text = in.rest();
    const std::string path = fuzz::writeScratch("tarlo.ini", text);

    ToolDefinitions defs;
    std::string out;
    FUZZ_CHECK(defs.loadDefinitions(path, out));
    FUZZ_CHECK(out == "Found " + path + "\n");
    FUZZ_CHECK(defs.loaded());
    const auto& lines = defs.lines();
    FUZZ_CHECK(!lines.empty() && lines.back() == "[+]");
    for (const auto& l : lines) {
        FUZZ_CHECK(!l.empty() && l.size() <= 255);
        FUZZ_CHECK(l.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    }

    lookUp(defs, id, path);
    int headers = 0;
    for (const auto& l : lines) {
        if (l[0] != '[' || headers++ >= 8)
            continue;
        std::uint32_t sid = 0;
        for (std::size_t i = 1; i < l.size() && i < 9 && std::isxdigit(static_cast<unsigned char>(l[i])); ++i)
            sid = sid * 16 + std::uint32_t(std::stoi(std::string(1, l[i]), nullptr, 16));
        lookUp(defs, sid, path);
    }
    for (const auto& row : ToolTypeTable)
        (void)lookupTypeName(row.name);
    return 0;
}
