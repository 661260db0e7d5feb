#include "tool/Dump.h"

#include "tool/OutputPath.h"

#include "model/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Output.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <iostream>
#include <new>
#include <vector>

namespace patchwise {

using text::dec;
using text::fixed6;
using text::hex;

RecordClass classifyRecord(std::uint32_t id)
{
    auto in = [id](std::uint32_t a, std::uint32_t b) { return id >= a && id <= b; };
    if (in(0x410, 0x413) || in(0x420, 0x423) || id == 0x430 || id == 0x433 || in(0x440, 0x443) || id == 0x450 ||
        in(0x452, 0x455) || id == 0x459 || in(0x461, 0x463) || id == 0x465 || in(0x601, 0x606))
        return RecordClass::Int16List;
    if (in(0x341, 0x343) || id == 0x400 || id == 0x401 || id == 0x404 || id == 0x451 || id == 0x456 ||
        id == 0x460 || id == 0x464 || id == 0x473 || in(0x506, 0x509) || id == 0x514 || in(0x517, 0x519) ||
        in(0x536, 0x539) || id == 0x546 || id == 0x1505 || id == 0x1508 || id == 0x1524 || id == 0x1525 ||
        id == 0x1531 || in(0x1535, 0x1538))
        return RecordClass::PointTable;
    if (id == 0x511 || id == 0x512 || in(0x1502, 0x1504) || id == 0x1506 || id == 0x1507)
        return RecordClass::Grid;
    return RecordClass::Unclassified;
}

namespace {

std::int32_t i32At(std::span<const std::uint8_t> d, std::size_t off) { return static_cast<std::int32_t>(loadU32(d.data() + off)); }
std::int16_t i16At(std::span<const std::uint8_t> d, std::size_t off)
{
    return static_cast<std::int16_t>(std::uint16_t(d[off] | d[off + 1] << 8));
}
double f64At(std::span<const std::uint8_t> d, std::size_t off)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t(d[off + i]) << (8 * i);
    return std::bit_cast<double>(v);
}

// Data lengths and counts are printed with "%d".
std::string d32(std::uint32_t v) { return dec(static_cast<std::int32_t>(v)); }

} // namespace

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

void appendTableListing(std::string& out, RecordClass cls, std::span<const std::uint8_t> data, std::uint32_t length)
{
    switch (cls) {
    case RecordClass::Int16List: {
        out += "Points: " + dec(length / 2) + "\n";
        for (std::size_t off = 0; off + 2 <= data.size() && off / 2 < length / 2; off += 2) out += dec(i16At(data, off)) + "\n";
        break;
    }
    case RecordClass::PointTable: {
        std::int32_t n = data.size() >= 4 ? i32At(data, 0) : 0;
        out += "Points: " + dec(n) + "\n";
        for (std::int64_t i = 0; i < n; ++i) {
            std::size_t off = 4 + static_cast<std::size_t>(i) * 16;
            if (off + 16 > data.size()) break;
            out += fixed6(f64At(data, off)) + "\t" + fixed6(f64At(data, off + 8)) + "\n";
        }
        break;
    }
    case RecordClass::Grid: {
        std::int32_t rows = data.size() >= 4 ? i32At(data, 0) : 0;
        std::int32_t cols = data.size() >= 8 ? i32At(data, 4) : 0;
        out += "columns: " + dec(cols) + "  rows: " + dec(rows) + "\n";
        if (rows <= 0 || cols < 0) break;
        if (cols == 0) {
            // Each row still ends in "\n". Such rows claim no data, so their
            // count is capped to keep the output bounded by the file's size.
            out.append(static_cast<std::size_t>(std::min<std::int64_t>(rows, kMaxEmptyGridRows)), '\n');
            break;
        }
        std::size_t available = data.size() >= 8 ? (data.size() - 8) / 8 : 0;
        std::size_t index = 0;
        for (std::int64_t r = 0; r < rows && index < available; ++r) {
            for (std::int64_t c = 0; c < cols && index < available; ++c, ++index)
                out += fixed6(f64At(data, 8 + index * 8)) + "\t";
            out += "\n";
        }
        break;
    }
    case RecordClass::Unclassified: break;
    }
}

namespace {

void appendHexListing(std::string& out, std::span<const std::uint8_t> data, std::uint32_t length)
{
    out += "Points: " + d32(length) + "\n";
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += hex(data[i], 2) + " ";
        if ((i + 1) % 16 == 0) out += "\n";
    }
    if (data.size() % 16 != 0) out += "\n";
}

// Bytes the field consumed, for the size check.
std::uint64_t appendFieldLine(std::string& out, std::uint32_t id, std::uint32_t offset, ToolType type,
        std::span<const std::uint8_t> data, std::string_view name)
{
    const ToolTypeRow& row = typeRow(type);
    if (type == ToolType::Text) {
        if (offset > data.size()) return 0;
        std::size_t end = offset;
        while (end < data.size() && data[end] != 0) ++end;
        out += "TEXT 0x" + hex(id) + "\t";
        out.append(reinterpret_cast<const char*>(data.data()) + offset, end - offset);
        out += '\n';
        return end - offset;
    }
    std::uint64_t width = static_cast<std::uint64_t>(row.width);
    if (width == 0 || offset > data.size() || data.size() - offset < width) return width;
    std::string value;
    switch (type) {
    case ToolType::Int8: value = dec(static_cast<std::int8_t>(data[offset])); break;
    case ToolType::Int16: value = dec(i16At(data, offset)); break;
    case ToolType::Bool:
    case ToolType::Int32:
    case ToolType::Thrust: value = dec(i32At(data, offset)); break;
    case ToolType::Double: value = fixed6(f64At(data, offset)); break;
    case ToolType::Pct16: value = fixed6(i16At(data, offset) / 16384.0); break;
    case ToolType::Ang16: value = fixed6(i16At(data, offset) / 182.0); break;
    case ToolType::Aspd: value = fixed6(i32At(data, offset) / 128.0); break;
    case ToolType::Prpm: value = fixed6(i16At(data, offset) * 3000.0 / 6400.0); break;
    case ToolType::Mach: value = fixed6(i16At(data, offset) / 20480.0); break;
    case ToolType::Fwgt: value = fixed6(i16At(data, offset) / 256.0); break;
    case ToolType::M256: value = fixed6(i16At(data, offset) / 6.5025); break;
    case ToolType::None:
    case ToolType::Text: return 0;
    }
    out += "FIELD 0x" + hex(id) + "\t0x" + hex(offset) + "\t" + row.label + "\t" + value + "\t";
    out += name;
    out += '\n';
    return width;
}

bool appendDefinitionListing(std::string& out, const ToolDefinitions& defs, const RecordSpan& rec,
        std::span<const std::uint8_t> data, const RecordLookupView& lookup)
{
    if (lookup.type) {
        appendFieldLine(out, rec.id, 0, *lookup.type, data, lookup.name);
        return true;
    }
    auto fields = defs.sectionFields(rec.id);
    if (!fields) return false;
    std::uint64_t sum = 0;
    for (const FieldLine& f : *fields)
        if (f.type) sum += appendFieldLine(out, rec.id, f.offset, *f.type, data, f.name);
    if (sum != rec.length)
        out += "WARNING: Actual size: " + d32(rec.length) + ", Tarlo size: " + dec(static_cast<std::int32_t>(sum)) + "\n";
    return true;
}

} // namespace

bool dumpTo(std::span<const std::uint8_t> file, const std::string& definitionPath, bool full,
        ToolDefinitions& defs, const DumpSink& sink)
{
    // The listing is built a few records at a time and handed on, so no
    // text of the whole listing is ever held.
    constexpr std::size_t kPiece = 1 << 16;
    std::string out;
    out.reserve(kPiece + 4096);
    bool going = true;
    auto flush = [&] {
        if (going && !out.empty()) going = sink(out);
        out.clear();
        return going;
    };
    if (!defs.loadDefinitions(definitionPath, out)) out += "Tarlo record formats not available.\n";
    long long records = 0;
    forEachRecord(file, [&](const RecordSpan& rec) {
        ++records;
        std::span<const std::uint8_t> data = file.subspan(rec.data, rec.present);
        RecordClass cls = classifyRecord(rec.id);
        if (cls == RecordClass::Unclassified && !full) return true;
        RecordLookupView lookup = defs.findRecord(rec.id);
        out += "\nRecord: " + hex(rec.id, 4) + " ";
        out += lookup.name;
        out += '\n';
        if (cls != RecordClass::Unclassified)
            appendTableListing(out, cls, data, rec.length);
        else if (!defs.loaded() || !appendDefinitionListing(out, defs, rec, data, lookup))
            appendHexListing(out, data, rec.length);
        return out.size() < kPiece || flush();
    });
    if (!going) return false;
    out += "\n" + readRevision(file);
    StampCheck stamp = verifyStamp(file);
    if (stamp.present) {
        out += "Last Patchwise:" + stamp.text + "\n";
        if (stamp.certified) out += "CERTIFIED 1% AIRFILE\n";
    }
    out += "\nRecord count: " + dec(records) + "\n";
    return flush();
}

std::string dumpText(std::span<const std::uint8_t> file, const std::string& definitionPath, bool full,
        ToolDefinitions& defs)
{
    std::string text;
    dumpTo(file, definitionPath, full, defs, [&text](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

int writeDump(const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath,
        bool full, ToolDefinitions& defs, std::string* error, std::ostream* standardOutput)
{
    namespace fio = model::fileio;
    if (!isStandardOutput(dumpPath) && sameFile(airPath, dumpPath)) {
        // Writing the listing over the file it lists would lose the file.
        if (error) *error = "The dump file " + dumpPath + " is the AIR file itself.";
        return 1;
    }
    if (!isStandardOutput(dumpPath) && replacesAirOrBackup(dumpPath, airPath)) {
        if (error) *error = "The dump file " + dumpPath + " would replace a backup of the AIR file.";
        return 1;
    }
    if (writesInPlace(dumpPath)) {
        // Standard output, a device or a FIFO: nothing to replace atomically.
        const bool loadedBefore = defs.loaded();
        std::vector<std::uint8_t> air;
        std::string out;
        int result = 0;
        if (auto e = fio::readFile(airPath, air)) {
            out = "Can't open " + airPath + "\n";
            if (error) *error = e.message;
            result = 1;
        } else if (isStandardOutput(dumpPath)) {
            // Standard output takes the listing as it is made.
            std::ostream& stream = standardOutput ? *standardOutput : std::cout;
            dumpTo(air, definitionPath, full, defs, [&](std::string_view piece) {
                stream.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                return static_cast<bool>(stream);
            });
        } else {
            out = dumpText(air, definitionPath, full, defs);
        }
        if (auto e = writeOutput(dumpPath, out, standardOutput)) {
            // No dump was written, so the definition line has not been shown yet.
            if (!loadedBefore) defs.unload();
            if (error) *error = e.message;
            return 1;
        }
        return result;
    }
    const bool wasLoaded = defs.loaded();
    auto asBytes = [](std::string_view s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    // The listing goes to a temporary file beside the dump as it is made and
    // replaces the dump only when complete.
    fio::AtomicWriter writer;
    fio::Error failure = writer.open(dumpPath);
    fio::Error unreadable;
    std::vector<std::uint8_t> air;
    if (!failure) {
        if ((unreadable = fio::readFile(airPath, air))) {
            failure = writer.write(asBytes("Can't open " + airPath + "\n"));
        } else {
            try {
                dumpTo(air, definitionPath, full, defs, [&](std::string_view piece) {
                    failure = writer.write(asBytes(piece));
                    return !failure;
                });
            } catch (const std::bad_alloc&) {
                // The temporary goes with the writer.
                if (!wasLoaded) defs.unload();
                if (error) *error = "There is not enough memory to list " + airPath + ".";
                return 1;
            }
        }
        if (!failure) failure = writer.commit();
    }
    if (failure) {
        // No dump was written, so the definition line has not been shown yet.
        if (!wasLoaded) defs.unload();
        if (error) *error = failure.message;
        return 1;
    }
    if (unreadable) {
        if (error) *error = unreadable.message;
        return 1;
    }
    return 0;
}

} // namespace patchwise
