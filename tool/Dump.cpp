#include "tool/Dump.h"

#include "tool/OutputPath.h"

#include "base/Bytes.h"
#include "base/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Output.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <algorithm>
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
    if (in(0x410, 0x413) || in(0x420, 0x423) || id == 0x430 || id == 0x433 || in(0x440, 0x443) || id == 0x450
            || in(0x452, 0x455) || id == 0x459 || in(0x461, 0x463) || id == 0x465 || in(0x601, 0x606))
        return RecordClass::Int16List;
    if (in(0x341, 0x343) || id == 0x400 || id == 0x401 || id == 0x404 || id == 0x451 || id == 0x456
            || id == 0x460 || id == 0x464 || id == 0x473 || in(0x506, 0x509) || id == 0x514
            || in(0x517, 0x519) || in(0x536, 0x539) || id == 0x546 || id == 0x1505 || id == 0x1508
            || id == 0x1524 || id == 0x1525 || id == 0x1531 || in(0x1535, 0x1538))
        return RecordClass::PointTable;
    if (id == 0x511 || id == 0x512 || in(0x1502, 0x1504) || id == 0x1506 || id == 0x1507)
        return RecordClass::Grid;
    return RecordClass::Unclassified;
}

namespace {

namespace bytes = base::bytes;

// Data lengths and counts are printed with "%d".
std::string d32(std::uint32_t v)
{
    return dec(static_cast<std::int32_t>(v));
}

} // namespace

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

double unitsOf(const ToolTypeRow& row, std::int64_t stored)
{
    return static_cast<double>(stored) * row.units / row.steps;
}

std::optional<std::string> fieldValueText(
        ToolType type, std::span<const std::uint8_t> data, std::size_t offset)
{
    const ToolTypeRow& row = typeRow(type);
    switch (row.value) {
    case ToolValue::Text: {
        if (offset > data.size())
            return std::nullopt;
        const auto rest = data.subspan(offset);
        return std::string(rest.begin(), std::find(rest.begin(), rest.end(), std::uint8_t(0)));
    }
    case ToolValue::Double:
        if (auto v = bytes::f64(data, offset))
            return fixed6(*v);
        return std::nullopt;
    case ToolValue::Integer:
    case ToolValue::Scaled:
        if (auto stored = bytes::readSigned(data, offset, static_cast<std::size_t>(row.width)))
            return row.value == ToolValue::Scaled ? fixed6(unitsOf(row, *stored)) : dec(*stored);
        return std::nullopt;
    case ToolValue::None:
        break;
    }
    return std::nullopt;
}

void appendTableListing(
        std::string& out, RecordClass cls, std::span<const std::uint8_t> data, std::uint32_t length)
{
    switch (cls) {
    case RecordClass::Int16List: {
        out += "Points: " + dec(length / 2) + "\n";
        for (std::size_t off = 0; off + 2 <= data.size() && off / 2 < length / 2; off += 2)
            out += dec(*bytes::i16(data, off)) + "\n";
        break;
    }
    case RecordClass::PointTable: {
        std::int32_t n = bytes::i32(data, 0).value_or(0);
        out += "Points: " + dec(n) + "\n";
        for (std::int64_t i = 0; i < n; ++i) {
            std::size_t off = 4 + static_cast<std::size_t>(i) * 16;
            if (off + 16 > data.size())
                break;
            out += fixed6(*bytes::f64(data, off)) + "\t" + fixed6(*bytes::f64(data, off + 8)) + "\n";
        }
        break;
    }
    case RecordClass::Grid: {
        std::int32_t rows = bytes::i32(data, 0).value_or(0);
        std::int32_t cols = bytes::i32(data, 4).value_or(0);
        out += "columns: " + dec(cols) + "  rows: " + dec(rows) + "\n";
        if (rows <= 0 || cols < 0)
            break;
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
                out += fixed6(*bytes::f64(data, 8 + index * 8)) + "\t";
            out += "\n";
        }
        break;
    }
    case RecordClass::Unclassified:
        break;
    }
}

namespace {

void appendHexListing(std::string& out, std::span<const std::uint8_t> data, std::uint32_t length)
{
    out += "Points: " + d32(length) + "\n";
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += hex(data[i], 2) + " ";
        if ((i + 1) % 16 == 0)
            out += "\n";
    }
    if (data.size() % 16 != 0)
        out += "\n";
}

// Bytes the field consumed, for the size check.
std::uint64_t appendFieldLine(std::string& out, std::uint32_t id, std::uint32_t offset, ToolType type,
        std::span<const std::uint8_t> data, std::string_view name)
{
    const ToolTypeRow& row = typeRow(type);
    const std::optional<std::string> value = fieldValueText(type, data, offset);
    if (row.value == ToolValue::Text) {
        if (!value)
            return 0;
        out += "TEXT 0x" + hex(id) + "\t" + *value + '\n';
        return value->size();
    }
    if (value) {
        out += "FIELD 0x" + hex(id) + "\t0x" + hex(offset) + "\t" + row.label + "\t" + *value + "\t";
        out += name;
        out += '\n';
    }
    return static_cast<std::uint64_t>(row.width);
}

bool appendDefinitionListing(std::string& out, const ToolDefinitions& defs, const RecordSpan& rec,
        std::span<const std::uint8_t> data, const RecordLookupView& lookup)
{
    if (lookup.type) {
        appendFieldLine(out, rec.id, 0, *lookup.type, data, lookup.name);
        return true;
    }
    auto fields = defs.sectionFields(rec.id);
    if (!fields)
        return false;
    std::uint64_t sum = 0;
    for (const FieldLine& f : *fields)
        if (f.type)
            sum += appendFieldLine(out, rec.id, f.offset, *f.type, data, f.name);
    if (sum != rec.length)
        out += "WARNING: Actual size: " + d32(rec.length)
                + ", Tarlo size: " + dec(static_cast<std::int32_t>(sum)) + "\n";
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
        if (going && !out.empty())
            going = sink(out);
        out.clear();
        return going;
    };
    if (!defs.loadDefinitions(definitionPath, out))
        out += "Tarlo record formats not available.\n";
    long long records = 0;
    forEachRecord(file, [&](const RecordSpan& rec) {
        ++records;
        std::span<const std::uint8_t> data = file.subspan(rec.data, rec.present);
        RecordClass cls = classifyRecord(rec.id);
        if (cls == RecordClass::Unclassified && !full)
            return true;
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
    if (!going)
        return false;
    out += "\n" + readRevision(file);
    StampCheck stamp = verifyStamp(file);
    if (stamp.present) {
        out += "Last Patchwise:" + stamp.text + "\n";
        if (stamp.certified)
            out += "CERTIFIED 1% AIRFILE\n";
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

namespace {

int fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return 1;
}

// Why the dump may not be written at dumpPath: it would replace the AIR file,
// one of its backups or the definition file. Empty when it may.
std::string dumpTargetProblem(
        const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath)
{
    if (isStandardOutput(dumpPath))
        return {};
    // Writing the listing over the file it lists would lose the file.
    if (sameFile(airPath, dumpPath))
        return "The dump file " + dumpPath + " is the AIR file itself.";
    if (replacesAirOrBackup(dumpPath, airPath))
        return "The dump file " + dumpPath + " would replace a backup of the AIR file.";
    if (sameFile(definitionPath, dumpPath))
        return "The dump file " + dumpPath + " would replace the definition file.";
    return {};
}

// Standard output, a device or a FIFO: nothing to replace atomically.
int dumpInPlace(const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath,
        bool full, ToolDefinitions& defs, std::string* error, std::ostream* standardOutput)
{
    namespace fio = base::fileio;
    const bool loadedBefore = defs.loaded();
    std::vector<std::uint8_t> air;
    std::string out;
    int result = 0;
    if (auto e = fio::readFile(airPath, air)) {
        out = "Can't open " + airPath + "\n";
        result = fail(error, e.message);
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
        if (!loadedBefore)
            defs.unload();
        return fail(error, e.message);
    }
    return result;
}

// The listing goes to a temporary file beside the dump as it is made and
// replaces the dump only when complete.
int dumpAtomically(const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath,
        bool full, ToolDefinitions& defs, std::string* error)
{
    namespace fio = base::fileio;
    const bool wasLoaded = defs.loaded();
    auto asBytes = [](std::string_view s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
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
                if (!wasLoaded)
                    defs.unload();
                return fail(error, "There is not enough memory to list " + airPath + ".");
            }
        }
        if (!failure)
            failure = writer.commit();
    }
    if (failure) {
        // No dump was written, so the definition line has not been shown yet.
        if (!wasLoaded)
            defs.unload();
        return fail(error, failure.message);
    }
    if (unreadable)
        return fail(error, unreadable.message);
    return 0;
}

} // namespace

int writeDump(const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath,
        bool full, ToolDefinitions& defs, std::string* error, std::ostream* standardOutput)
{
    if (std::string problem = dumpTargetProblem(airPath, dumpPath, definitionPath); !problem.empty())
        return fail(error, problem);
    if (writesInPlace(dumpPath))
        return dumpInPlace(airPath, dumpPath, definitionPath, full, defs, error, standardOutput);
    return dumpAtomically(airPath, dumpPath, definitionPath, full, defs, error);
}

} // namespace patchwise
