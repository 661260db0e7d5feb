// The update's interpreter: runs the script's commands over the record list
// and finishes the file (record count, revision text, stamp) as it is written.
#include "tool/UpdateRun.h"

#include "base/AsciiText.h"
#include "base/Bytes.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"
#include "tool/UpdateBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace patchwise {

using text::dec;
using text::hex;

namespace {

namespace bytes = base::bytes;

// Conversion of a real to int as the processor's truncating conversion does:
// out of range and NaN give INT32_MIN.
std::int32_t truncToInt(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

std::string d32(std::uint32_t v)
{
    return dec(static_cast<std::int32_t>(v));
}

// A number as a dump writes one: a decimal integer or real, or a byte in hex.
bool isDumpNumber(std::string_view w)
{
    auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    if (w.size() <= 2 && std::all_of(w.begin(), w.end(), isHex))
        return true;
    std::size_t i = w[0] == '-' || w[0] == '+' ? 1 : 0;
    bool digits = false, point = false;
    for (; i < w.size(); ++i) {
        if ((w[i] >= '0' && w[i] <= '9'))
            digits = true;
        else if (w[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

// The lines of a pasted dump that are not commands: its headings, and lines
// of numbers only (values, points, grids, bytes in hex).
bool isDumpLine(std::string_view line, std::string_view keyword)
{
    for (std::string_view heading :
            {"Found", "Can't", "Tarlo", "Record", "Points:", "columns:", "WARNING:", "Last", "CERTIFIED"})
        if (keyword == heading)
            return true;
    if (keyword.rfind("Patchwise:", 0) == 0)
        return true;
    text::Scanner sc(line);
    while (auto w = sc.word())
        if (!isDumpNumber(*w))
            return false;
    return true;
}

std::string withoutLineBreak(std::string_view s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

class ScriptRun {
public:
    ScriptRun(UpdateSource file, std::string_view script, const std::string& defPath, ToolDefinitions& defs)
            : buf_(std::move(file)), script_(script), defPath_(defPath), defs_(defs)
    {
        // A UTF-8 byte-order mark is not part of the first command.
        if (script_.starts_with("\xEF\xBB\xBF"))
            script_.remove_prefix(3);
    }

    void runCommands()
    {
        while (pos_ < script_.size()) {
            std::size_t end = pos_;
            while (end < script_.size() && end - pos_ < kScriptPiece)
                if (endsLine(end++))
                    break;
            std::string_view piece = script_.substr(pos_, end - pos_);
            lineNo_ = lineNumberAt(pos_);
            lineStart_ = pos_ == 0 || script_[pos_ - 1] == '\n';
            pos_ = end;
            // The line is a C string: it ends at a zero byte.
            if (auto z = piece.find('\0'); z != std::string_view::npos)
                piece = piece.substr(0, z);
            if (!line(piece)) {
                stoppedOnUnknownType_ = true;
                break;
            }
        }
    }

    // The record count in the log; the revision text stored, the stamp's
    // slots cleared and the file handed out; the CRC in the log and in the
    // stamp returned.
    std::optional<UpdateRun::Stamp> finish(
            const std::function<void(std::span<const std::uint8_t>)>& put, std::time_t time)
    {
        log_ += "\nRecord count: " + dec(buf_.count()) + "\n";
        const auto stamp = buf_.find(kStampRecord);
        if (stamp)
            clearStampSlots(buf_.data(*stamp));
        if (revision_)
            if (auto rev = buf_.find(kRevisionRecord))
                storeRevisionSlots(buf_.data(*rev), *revision_);
        std::uint32_t crc = 0;
        buf_.write([&](std::span<const std::uint8_t> piece) {
            crc = crc32(piece.data(), piece.size(), crc);
            put(piece);
        });
        log_ += "crc " + hex(crc, 8) + "\n";
        if (!stamp)
            return std::nullopt;
        std::span<std::uint8_t> data = buf_.data(*stamp);
        writeStampSlots(data, crc, time);
        return UpdateRun::Stamp{buf_.newOffset(*stamp), {data.begin(), data.end()}};
    }

    std::uint64_t newSize() const { return buf_.newSize(); }
    bool stoppedOnUnknownType() const { return stoppedOnUnknownType_; }
    std::vector<ScriptWarning>& warnings() { return warnings_; }
    std::string& log() { return log_; }

private:
    void warn(std::string message) { warnings_.push_back({lineNo_, std::move(message)}); }
    void cannot(std::string_view line)
    {
        log_ += "CANNOT PROCESS: " + std::string(line);
        std::string message = "CANNOT PROCESS: ";
        message += withoutLineBreak(line);
        warn(std::move(message));
    }
    // Line numbers count line breaks, so a long line read in pieces keeps its number.
    std::size_t lineNumberAt(std::size_t pos)
    {
        for (; countedTo_ < pos && countedTo_ < script_.size(); ++countedTo_)
            if (endsLine(countedTo_))
                ++linesBefore_;
        return linesBefore_ + 1;
    }
    // A line ends at LF, or at a CR that no LF follows (old Mac text).
    bool endsLine(std::size_t i) const
    {
        return script_[i] == '\n'
                || (script_[i] == '\r' && (i + 1 == script_.size() || script_[i + 1] != '\n'));
    }

    // false: stop reading the script.
    bool line(std::string_view line)
    {
        if (line.empty() || line[0] == ';')
            return true;
        text::Scanner sc(line);
        auto keyword = sc.word();
        if (!keyword)
            return true;
        if (base::ascii::equalsIgnoreCase(*keyword, "field"))
            return field(line);
        if (base::ascii::equalsIgnoreCase(*keyword, "text"))
            textLine(line);
        else if (base::ascii::equalsIgnoreCase(*keyword, "delete"))
            deleteLine(line);
        else if (base::ascii::equalsIgnoreCase(*keyword, "record:"))
            recordLine(line);
        else if (lineStart_ && !isDumpLine(line, *keyword)) // the rest of a long line is no command
            warn("unknown command '" + *keyword + "': the line is ignored");
        return true;
    }

    // A "field" line: the id, offset, type and value, all read before anything changes.
    struct FieldAssignment {
        std::uint32_t id = 0;
        std::uint32_t offset = 0;
        ToolType type = ToolType::None;
        std::optional<std::int32_t> integer; // the types stored as they are written
        std::optional<double> real; // "double" and the scaled types
    };

    // false: stop reading the script (an unknown type).
    bool field(std::string_view line)
    {
        text::Scanner sc(line);
        sc.word();
        auto id = sc.hex();
        auto offset = id ? sc.hex() : std::nullopt;
        auto typeName = offset ? sc.word() : std::nullopt;
        auto value = typeName ? sc.word() : std::nullopt;
        if (!value) {
            cannot(line);
            return true;
        }
        auto type = lookupTypeName(*typeName);
        if (!type) {
            stopAtUnknownType(line, *typeName);
            return false;
        }
        FieldAssignment assignment{*id, *offset, *type, std::nullopt, std::nullopt};
        if (!readFieldValue(assignment, *value)) {
            cannot(line);
            return true;
        }
        auto rec = recordForField(assignment.id, line);
        // A text field only makes its record whole.
        if (rec && *type != ToolType::Text)
            assignField(*rec, assignment, line);
        return true;
    }

    void stopAtUnknownType(std::string_view line, std::string_view typeName)
    {
        log_ += "CANNOT PROCESS: " + std::string(line);
        std::string message = "unknown type '";
        message += typeName;
        message += "': the rest of the script is not applied";
        warn(std::move(message));
    }

    // The value in the form its type takes; false when the word holds none.
    static bool readFieldValue(FieldAssignment& assignment, const std::string& word)
    {
        switch (typeRow(assignment.type).value) {
        case ToolValue::Integer:
            assignment.integer = text::Scanner(word).integer();
            return assignment.integer.has_value();
        case ToolValue::Double:
        case ToolValue::Scaled:
            assignment.real = text::Scanner(word).real();
            return assignment.real.has_value();
        case ToolValue::Text:
            return true;
        case ToolValue::None:
            break;
        }
        return false;
    }

    // The first record with the id, grown to its defined size or added with
    // it; nullopt (logged) when it neither exists nor is defined.
    std::optional<UpdateBuffer::Ref> recordForField(std::uint32_t id, std::string_view line)
    {
        std::uint32_t size = defs_.definedRecordSize(id, defPath_, log_);
        auto rec = buf_.find(id);
        if (rec) {
            if (buf_.length(*rec) < size) {
                log_ += "Increased size of: " + hex(id) + " from " + d32(buf_.length(*rec)) + " to "
                        + d32(size) + "\n";
                buf_.grow(*rec, size);
                rec = buf_.find(id);
            }
        } else if (size == 0) {
            // The log keeps its wording for a tarlo.ini; another file is named.
            const std::string name = defPath_.substr(defPath_.find_last_of('/') + 1);
            const bool other = !name.empty() && !base::ascii::equalsIgnoreCase(name, "tarlo.ini");
            log_ += "Section " + hex(id) + " not defined in " + (other ? name : "tarlo.ini") + "\n";
            warn("Section " + hex(id) + " not defined in " + (defPath_.empty() ? "tarlo.ini" : defPath_));
            return std::nullopt;
        } else {
            log_ += "ADD Section " + hex(id) + ", Length " + d32(size) + "\n";
            buf_.append(id, std::vector<std::uint8_t>(size, 0));
            rec = buf_.find(id);
        }
        if (!rec)
            cannot(line);
        return rec;
    }

    // Stores the value at its offset and logs it; a value that does not lie
    // inside the record's data cannot be assigned.
    void assignField(UpdateBuffer::Ref rec, const FieldAssignment& assignment, std::string_view line)
    {
        const ToolTypeRow& row = typeRow(assignment.type);
        const auto width = static_cast<std::size_t>(row.width);
        const std::size_t present = buf_.present(rec);
        if (assignment.offset > present || present - assignment.offset < width) {
            cannot(line);
            return;
        }
        std::span<std::uint8_t> b = buf_.data(rec);
        const std::string prefix = hex(assignment.id) + ":" + hex(assignment.offset) + " := ";
        std::int32_t stored = 0;
        switch (row.value) {
        case ToolValue::Integer:
            stored = *assignment.integer;
            break;
        case ToolValue::Scaled:
            stored = scaledFieldValue(assignment.type, *assignment.real);
            break;
        case ToolValue::Double:
            bytes::writeLE(b, assignment.offset, *assignment.real);
            log_ += prefix + text::fixed6(*assignment.real) + "\n";
            return;
        case ToolValue::Text:
        case ToolValue::None:
            return;
        }
        bytes::writeUnsigned(b, assignment.offset, static_cast<std::uint32_t>(stored), width);
        log_ += prefix + dec(stored) + "\n";
    }

    void textLine(std::string_view line)
    {
        text::Scanner sc(line);
        sc.word();
        auto second = sc.word();
        std::size_t start = sc.pos();
        while (start < line.size() && base::ascii::isBlank(line[start]))
            ++start;
        if (!second || start >= line.size()) {
            cannot(line);
            return;
        }
        std::string txt(line.substr(start));
        if (base::ascii::equalsIgnoreCase(*second, "revid")) {
            revision_ = txt.substr(0, kRevisionMaxScript);
            log_ += "\nRevID: " + *revision_;
            return;
        }
        auto id = text::scanHex(*second);
        if (!id) {
            cannot(line);
            return;
        }
        for (char& c : txt)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::vector<std::uint8_t> data;
        for (char c : txt) {
            if (c == '|') {
                data.push_back('\r');
                data.push_back('\n');
            } else {
                data.push_back(static_cast<std::uint8_t>(c));
            }
        }
        data.push_back(0);
        if (auto rec = buf_.find(*id)) {
            log_ += "Replacement text: " + txt + "\n";
            buf_.replaceData(*rec, std::move(data));
        } else {
            buf_.append(*id, std::move(data));
            log_ += "Insert text: " + txt + "\n";
        }
    }

    void deleteLine(std::string_view line)
    {
        text::Scanner sc(line);
        sc.word();
        auto id = sc.hex();
        if (!id) {
            cannot(line);
            return;
        }
        if (auto rec = buf_.find(*id)) {
            buf_.remove(*rec);
            log_ += "Deleted: 0x" + hex(*id) + "\n";
        }
    }

    void recordLine(std::string_view line)
    {
        text::Scanner sc(line);
        sc.word();
        auto id = sc.hex();
        RecordClass cls = id ? classifyRecord(*id) : RecordClass::Unclassified;
        if (cls == RecordClass::Unclassified) {
            cannot(line);
            return;
        }
        // The data follows as words over any number of lines.
        text::Scanner ds(script_, pos_);
        std::vector<std::uint8_t> data;
        bool ok = readTable(ds, cls, data);
        pos_ = ds.pos();
        if (!ok) {
            cannot(line);
            return;
        }
        std::uint32_t newLength = static_cast<std::uint32_t>(data.size());
        // The new data is listed before it moves into the buffer.
        std::string newListing;
        appendTableListing(newListing, cls, data, newLength);
        if (auto rec = buf_.find(*id)) {
            log_ += "\nOriginal record: " + hex(*id, 4) + " Length " + d32(buf_.length(*rec)) + "\n";
            appendTableListing(log_, cls, buf_.data(*rec), buf_.length(*rec));
            log_ += "\n";
            log_ += "\nReplacement record: " + hex(*id, 4) + " Length " + d32(newLength) + "\n";
            buf_.replaceData(*rec, std::move(data));
        } else {
            buf_.append(*id, std::move(data));
            log_ += "\nInsert record: " + hex(*id, 4) + " Length " + d32(newLength) + "\n";
        }
        log_ += newListing;
        log_ += "\n";
    }

    static bool readTable(text::Scanner& ds, RecordClass cls, std::vector<std::uint8_t>& data)
    {
        // Counts come from the script: values are read one by one, never
        // allocated ahead, and the script's end stops the reading.
        constexpr std::uint64_t kMaxLength = 0xFFFFFFFFu;
        switch (cls) {
        case RecordClass::Int16List: {
            if (!ds.word())
                return false;
            auto n = ds.integer();
            if (!n || *n < 0 || 2ull * std::uint64_t(*n) > kMaxLength)
                return false;
            for (std::int32_t i = 0; i < *n; ++i) {
                auto v = ds.integer();
                if (!v)
                    return false;
                bytes::appendLE(data, static_cast<std::uint16_t>(*v));
            }
            return true;
        }
        case RecordClass::PointTable: {
            if (!ds.word())
                return false;
            auto n = ds.integer();
            if (!n || *n < 0 || 4 + 16ull * std::uint64_t(*n) > kMaxLength)
                return false;
            bytes::appendLE(data, static_cast<std::uint32_t>(*n));
            for (std::int64_t i = 0; i < 2 * std::int64_t(*n); ++i) {
                auto v = ds.real();
                if (!v)
                    return false;
                bytes::appendLE(data, *v);
            }
            return true;
        }
        case RecordClass::Grid: {
            if (!ds.word())
                return false;
            auto cols = ds.integer();
            if (!cols || *cols < 0 || !ds.word())
                return false;
            auto rows = ds.integer();
            if (!rows || *rows < 0)
                return false;
            std::uint64_t count = std::uint64_t(*rows) * std::uint64_t(*cols);
            if (count > (kMaxLength - 8) / 8)
                return false;
            bytes::appendLE(data, static_cast<std::uint32_t>(*rows));
            bytes::appendLE(data, static_cast<std::uint32_t>(*cols));
            for (std::uint64_t i = 0; i < count; ++i) {
                auto v = ds.real();
                if (!v)
                    return false;
                bytes::appendLE(data, *v);
            }
            return true;
        }
        case RecordClass::Unclassified:
            break;
        }
        return false;
    }

    UpdateBuffer buf_;
    bool stoppedOnUnknownType_ = false;
    std::string_view script_;
    std::size_t pos_ = 0;
    std::size_t lineNo_ = 0;
    bool lineStart_ = true;
    std::size_t countedTo_ = 0;
    std::size_t linesBefore_ = 0;
    std::vector<ScriptWarning> warnings_;
    const std::string& defPath_;
    ToolDefinitions& defs_;
    std::string log_;
    std::optional<std::string> revision_;
};

UpdateRun::UpdateRun(UpdateSource source, std::string_view script, const std::string& definitionPath,
        ToolDefinitions& defs)
        : run_(std::make_unique<ScriptRun>(std::move(source), script, definitionPath, defs))
{}

UpdateRun::~UpdateRun() = default;

void UpdateRun::runCommands()
{
    run_->runCommands();
}

bool UpdateRun::stoppedOnUnknownType() const
{
    return run_->stoppedOnUnknownType();
}

const std::vector<ScriptWarning>& UpdateRun::warnings() const
{
    return run_->warnings();
}

std::vector<ScriptWarning>& UpdateRun::takeWarnings()
{
    return run_->warnings();
}

std::optional<UpdateRun::Stamp> UpdateRun::writeFile(
        const std::function<void(std::span<const std::uint8_t>)>& put, std::time_t time)
{
    return run_->finish(put, time);
}

std::uint64_t UpdateRun::newSize() const
{
    return run_->newSize();
}

std::string& UpdateRun::log()
{
    return run_->log();
}

std::int32_t scaledFieldValue(ToolType type, double v)
{
    const ToolTypeRow& row = typeRow(type);
    if (row.value != ToolValue::Scaled)
        return truncToInt(v);
    return truncToInt(v * row.steps / row.units);
}

ScriptResult runUpdateScript(std::vector<std::uint8_t> file, std::string_view script,
        const std::string& definitionPath, ToolDefinitions& defs, std::time_t time)
{
    UpdateRun run(UpdateSource(std::move(file)), script, definitionPath, defs);
    run.runCommands();
    ScriptResult result;
    result.file.reserve(static_cast<std::size_t>(run.newSize()));
    const auto stamp = run.writeFile(
            [&](std::span<const std::uint8_t> piece) {
                result.file.insert(result.file.end(), piece.begin(), piece.end());
            },
            time);
    if (stamp)
        std::copy(stamp->bytes.begin(), stamp->bytes.end(),
                result.file.begin() + static_cast<std::ptrdiff_t>(stamp->offset));
    result.stoppedOnUnknownType = run.stoppedOnUnknownType();
    result.log = std::move(run.log());
    result.warnings = std::move(run.takeWarnings());
    return result;
}

} // namespace patchwise
