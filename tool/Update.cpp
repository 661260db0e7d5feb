#include "tool/Update.h"

#include "base/AsciiText.h"
#include "base/Bytes.h"
#include "base/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Output.h"
#include "tool/OutputPath.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <climits>
#include <cmath>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>
#include <unordered_map>

namespace patchwise {

using text::dec;
using text::hex;

namespace {

namespace bytes = base::bytes;

constexpr std::size_t kScriptPiece = 1022;

// The file being changed, as a list of its records in file order; the new
// file is composed once, at the finish. A record nobody changed stays a view
// into the bytes as read, so a script of N commands on a file of M bytes costs
// O(N + M) plus the bytes it changes. Every command sees what it would see
// walking the file from its start: the first record with an id, the records
// in order, new records after the last record the walk reaches.
class UpdateBuffer {
public:
    using Ref = std::uint32_t; // a record: an index into recs_, or kCut

    explicit UpdateBuffer(std::vector<std::uint8_t> bytes) : orig_(std::move(bytes))
    {
        std::size_t end = 0;
        forEachRecord(orig_, [&](const RecordSpan& r) {
            Rec rec;
            rec.id = r.id;
            rec.length = r.length;
            rec.origin = r.data;
            rec.present = r.present;
            if (r.present < r.length) {
                // Cut off by the end of the file: it stays last, and new
                // records go before it, or it would swallow them.
                cut_ = rec;
                ++count_;
            } else {
                add(rec);
            }
            end = r.data + r.present;
            return true;
        });
        // Fewer than 8 bytes after the last record: no header, kept at the end.
        tailFrom_ = end;
    }

    std::optional<Ref> find(std::uint32_t id) const
    {
        if (auto it = byId_.find(id); it != byId_.end() && it->second.first != kNone) return it->second.first;
        if (cut_ && cut_->id == id) return kCut;
        return std::nullopt;
    }
    std::uint32_t length(Ref r) const { return rec(r).length; }
    std::size_t present(Ref r) const { return rec(r).present; }
    std::span<std::uint8_t> data(Ref r)
    {
        Rec& x = rec(r);
        if (x.own != kNone) return owned_[x.own];
        return std::span(orig_).subspan(x.origin, x.present);
    }

    void replaceData(Ref r, std::vector<std::uint8_t> bytes)
    {
        Rec& x = rec(r);
        x.length = static_cast<std::uint32_t>(bytes.size());
        x.present = bytes.size();
        setOwned(x, std::move(bytes));
        if (r == kCut) settleCut();
    }
    void grow(Ref r, std::uint32_t newLength)
    {
        std::span<const std::uint8_t> old = data(r);
        std::vector<std::uint8_t> bytes(newLength, 0);
        std::copy(old.begin(), old.end(), bytes.begin());
        Rec& x = rec(r);
        x.length = newLength;
        x.present = newLength;
        setOwned(x, std::move(bytes));
        if (r == kCut) settleCut();
    }
    void remove(Ref r)
    {
        restructured_ = true;
        --count_;
        if (r == kCut) {
            cut_.reset();
            return;
        }
        // Only the first record with an id is ever removed.
        Rec& x = recs_[r];
        x.live = false;
        auto& chain = byId_[x.id];
        chain.first = x.nextSame;
        if (chain.first == kNone) chain.second = kNone;
        if (x.own != kNone) std::vector<std::uint8_t>().swap(owned_[x.own]);
    }
    void append(std::uint32_t id, std::vector<std::uint8_t> bytes)
    {
        restructured_ = true;
        Rec x;
        x.id = id;
        x.length = static_cast<std::uint32_t>(bytes.size());
        x.present = bytes.size();
        setOwned(x, std::move(bytes));
        add(x);
    }
    long long count() const { return count_; }

    // The new file: the records in order, the cut-off one, the stray bytes.
    std::vector<std::uint8_t> compose()
    {
        // Fields were assigned in place: an unchanged structure is the file itself.
        if (!restructured_) return std::move(orig_);
        std::size_t total = orig_.size() - tailFrom_;
        for (const Rec& x : recs_)
            if (x.live) total += 8 + x.present;
        if (cut_) total += 8 + cut_->present;
        std::vector<std::uint8_t> out;
        out.reserve(total);
        auto put = [&](const Rec& x) {
            bytes::appendLE(out, x.id);
            bytes::appendLE(out, x.length);
            if (x.own != kNone)
                out.insert(out.end(), owned_[x.own].begin(), owned_[x.own].end());
            else
                out.insert(out.end(), orig_.begin() + static_cast<std::ptrdiff_t>(x.origin),
                        orig_.begin() + static_cast<std::ptrdiff_t>(x.origin + x.present));
        };
        for (const Rec& x : recs_)
            if (x.live) put(x);
        if (cut_) put(*cut_);
        out.insert(out.end(), orig_.begin() + static_cast<std::ptrdiff_t>(tailFrom_), orig_.end());
        return out;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr Ref kCut = 0xFFFFFFFEu;

    struct Rec {
        std::uint32_t id = 0;
        std::uint32_t length = 0; // as the header says
        std::size_t origin = 0; // its data in orig_, while own is kNone
        std::size_t present = 0; // data bytes held
        std::uint32_t own = kNone; // its data in owned_ once changed
        std::uint32_t nextSame = kNone; // the next record with this id
        bool live = true;
    };

    Rec& rec(Ref r) { return r == kCut ? *cut_ : recs_[r]; }
    const Rec& rec(Ref r) const { return r == kCut ? *cut_ : recs_[r]; }

    void add(Rec x)
    {
        if (recs_.size() >= kCut) throw std::length_error("too many records");
        const Ref at = static_cast<Ref>(recs_.size());
        x.nextSame = kNone;
        recs_.push_back(x);
        ++count_;
        auto [it, fresh] = byId_.try_emplace(x.id, at, at);
        if (fresh) return;
        if (it->second.second != kNone)
            recs_[it->second.second].nextSame = at;
        else
            it->second.first = at;
        it->second.second = at;
    }
    void setOwned(Rec& x, std::vector<std::uint8_t> bytes)
    {
        restructured_ = true;
        if (x.own != kNone) {
            owned_[x.own] = std::move(bytes);
        } else {
            x.own = static_cast<std::uint32_t>(owned_.size());
            owned_.push_back(std::move(bytes));
        }
    }
    // A cut-off record made whole is an ordinary last record.
    void settleCut()
    {
        Rec x = *cut_;
        cut_.reset();
        --count_;
        add(x);
    }

    std::vector<std::uint8_t> orig_;
    std::vector<Rec> recs_;
    std::optional<Rec> cut_;
    std::size_t tailFrom_ = 0;
    std::vector<std::vector<std::uint8_t>> owned_;
    // id -> (first live record, last record) of its chain
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> byId_;
    long long count_ = 0;
    bool restructured_ = false;
};

// Conversion of a real to int as the processor's truncating conversion does:
// out of range and NaN give INT32_MIN.
std::int32_t truncToInt(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

std::string d32(std::uint32_t v) { return dec(static_cast<std::int32_t>(v)); }

std::string withoutLineBreak(std::string_view s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
    return std::string(s);
}

class ScriptRun {
public:
    ScriptRun(std::vector<std::uint8_t> file, std::string_view script, const std::string& defPath,
              ToolDefinitions& defs)
        : buf_(std::move(file)), script_(script), defPath_(defPath), defs_(defs)
    {
    }

    ScriptResult run(std::time_t time)
    {
        ScriptResult result;
        while (pos_ < script_.size()) {
            std::size_t end = pos_;
            while (end < script_.size() && end - pos_ < kScriptPiece)
                if (script_[end++] == '\n') break;
            std::string_view piece = script_.substr(pos_, end - pos_);
            lineNo_ = lineNumberAt(pos_);
            pos_ = end;
            // The line is a C string: it ends at a zero byte.
            if (auto z = piece.find('\0'); z != std::string_view::npos) piece = piece.substr(0, z);
            if (!line(piece)) {
                result.stoppedOnUnknownType = true;
                break;
            }
        }
        finish(time);
        result.file = std::move(file_);
        result.log = std::move(log_);
        result.warnings = std::move(warnings_);
        return result;
    }

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
            if (script_[countedTo_] == '\n') ++linesBefore_;
        return linesBefore_ + 1;
    }

    // false: stop reading the script.
    bool line(std::string_view line)
    {
        if (line.empty() || line[0] == ';') return true;
        text::Scanner sc(line);
        auto keyword = sc.word();
        if (!keyword) return true;
        if (base::ascii::equalsIgnoreCase(*keyword, "field")) return field(line);
        if (base::ascii::equalsIgnoreCase(*keyword, "text"))
            textLine(line);
        else if (base::ascii::equalsIgnoreCase(*keyword, "delete"))
            deleteLine(line);
        else if (base::ascii::equalsIgnoreCase(*keyword, "record:"))
            recordLine(line);
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
        if (rec && *type != ToolType::Text) assignField(*rec, assignment, line);
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
            log_ += "Section " + hex(id) + " not defined in tarlo.ini\n";
            warn("Section " + hex(id) + " not defined in tarlo.ini");
            return std::nullopt;
        } else {
            log_ += "ADD Section " + hex(id) + ", Length " + d32(size) + "\n";
            buf_.append(id, std::vector<std::uint8_t>(size, 0));
            rec = buf_.find(id);
        }
        if (!rec) cannot(line);
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
        while (start < line.size() && base::ascii::isBlank(line[start])) ++start;
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
            if (c == '\n' || c == '\r') c = ' ';
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
            if (!ds.word()) return false;
            auto n = ds.integer();
            if (!n || *n < 0 || 2ull * std::uint64_t(*n) > kMaxLength) return false;
            for (std::int32_t i = 0; i < *n; ++i) {
                auto v = ds.integer();
                if (!v) return false;
                bytes::appendLE(data, static_cast<std::uint16_t>(*v));
            }
            return true;
        }
        case RecordClass::PointTable: {
            if (!ds.word()) return false;
            auto n = ds.integer();
            if (!n || *n < 0 || 4 + 16ull * std::uint64_t(*n) > kMaxLength) return false;
            bytes::appendLE(data, static_cast<std::uint32_t>(*n));
            for (std::int64_t i = 0; i < 2 * std::int64_t(*n); ++i) {
                auto v = ds.real();
                if (!v) return false;
                bytes::appendLE(data, *v);
            }
            return true;
        }
        case RecordClass::Grid: {
            if (!ds.word()) return false;
            auto cols = ds.integer();
            if (!cols || *cols < 0 || !ds.word()) return false;
            auto rows = ds.integer();
            if (!rows || *rows < 0) return false;
            std::uint64_t count = std::uint64_t(*rows) * std::uint64_t(*cols);
            if (count > (kMaxLength - 8) / 8) return false;
            bytes::appendLE(data, static_cast<std::uint32_t>(*rows));
            bytes::appendLE(data, static_cast<std::uint32_t>(*cols));
            for (std::uint64_t i = 0; i < count; ++i) {
                auto v = ds.real();
                if (!v) return false;
                bytes::appendLE(data, *v);
            }
            return true;
        }
        case RecordClass::Unclassified: break;
        }
        return false;
    }

    void finish(std::time_t time)
    {
        log_ += "\nRecord count: " + dec(buf_.count()) + "\n";
        file_ = buf_.compose();
        std::vector<std::uint8_t>& b = file_;
        clearStamp(b);
        if (revision_) storeRevision(b, *revision_);
        std::uint32_t crc = crc32(b);
        log_ += "crc " + hex(crc, 8) + "\n";
        writeStamp(b, crc, time);
    }

    UpdateBuffer buf_;
    std::vector<std::uint8_t> file_; // composed at the finish
    std::string_view script_;
    std::size_t pos_ = 0;
    std::size_t lineNo_ = 0;
    std::size_t countedTo_ = 0;
    std::size_t linesBefore_ = 0;
    std::vector<ScriptWarning> warnings_;
    const std::string& defPath_;
    ToolDefinitions& defs_;
    std::string log_;
    std::optional<std::string> revision_;
};

} // namespace

std::int32_t scaledFieldValue(ToolType type, double v)
{
    const ToolTypeRow& row = typeRow(type);
    if (row.value != ToolValue::Scaled) return truncToInt(v);
    return truncToInt(v * row.steps / row.units);
}

ScriptResult runUpdateScript(std::vector<std::uint8_t> file, std::string_view script,
                             const std::string& definitionPath, ToolDefinitions& defs, std::time_t time)
{
    return ScriptRun(std::move(file), script, definitionPath, defs).run(time);
}

namespace {

// The backup numbered one below `next` ("" below .001).
std::string previousBackupName(const std::string& next, const std::string& airPath)
{
    const unsigned n = static_cast<unsigned>(std::stoul(next.substr(airPath.size() + 1)));
    if (n <= 1) return {};
    std::string number = dec(n - 1);
    while (number.size() < 3) number.insert(0, "0");
    return airPath + "." + number;
}

} // namespace

std::string nextBackupName(const std::string& airPath)
{
    for (unsigned n = 1;; ++n) {
        std::string number = dec(n);
        while (number.size() < 3) number.insert(0, "0");
        std::string name = airPath + "." + number;
        if (!base::fileio::exists(name)) return name;
    }
}

namespace {

// The file-level steps of an update. The AIR name always holds a whole file:
// the new contents are written and flushed under a temporary name, the backup
// is a further name of the original (nothing is renamed away from the AIR
// name), and one rename puts the new file in place.
int updateFiles(const std::string& airPath, const std::string& scriptPath, const std::string& definitionPath,
        ToolDefinitions& defs, const UpdateOptions& options, std::string* error)
{
    namespace fio = base::fileio;
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return 1;
    };
    // A log on the standard output, a device or a FIFO is written as it is;
    // a dry run writes no log file at all.
    const bool logInPlace = !options.dryRun && writesInPlace(options.logPath);
    const bool logToFile = !options.dryRun && !logInPlace;
    if (logToFile && (replacesAirOrBackup(options.logPath, airPath) || sameFile(options.logPath, scriptPath)))
        return fail("The log " + options.logPath
                + " would replace the AIR file, one of its backups or the script.");
    std::vector<std::uint8_t> air, script;
    if (auto e = fio::readFile(airPath, air)) return fail(e.message);
    if (auto e = fio::readFile(scriptPath, script)) return fail(e.message);
    std::string_view scriptText(reinterpret_cast<const char*>(script.data()), script.size());
    const bool wasLoaded = defs.loaded();
    // Nothing reached the disk: a later log must still show the definition line.
    auto failBeforeCommit = [&](const std::string& message) {
        if (!wasLoaded) defs.unload();
        return fail(message);
    };
    // Reports the lines the update cannot carry out; true when --strict
    // makes them stop it.
    auto refusedByWarnings = [&](const ScriptResult& result) {
        if (options.warning)
            for (const ScriptWarning& w : result.warnings) options.warning(w);
        return options.strict && !result.warnings.empty();
    };
    auto strictFailure = [&](const ScriptResult& result) {
        return failBeforeCommit("The script has " + dec(static_cast<long long>(result.warnings.size()))
                + (result.warnings.size() == 1 ? " line" : " lines")
                + " that the update cannot carry out; nothing was written.");
    };

    if (options.dryRun) {
        // Every rule of the script, in memory only: no backup, no log file,
        // no temporary file, the AIR file untouched.
        ScriptResult result = runUpdateScript(
                std::move(air), scriptText, definitionPath, defs, options.time ? *options.time : stampTime());
        if (refusedByWarnings(result)) return strictFailure(result);
        if (auto e = writeOutput("-", result.log, options.standardOutput)) return fail(e.message);
        if (result.stoppedOnUnknownType)
            return fail("The script stops at a field line with an unknown type.");
        return 0;
    }

    // A symbolic link is followed: its target is updated and backed up beside it.
    fio::ReplaceFile newAir;
    if (auto e = newAir.open(airPath)) return fail(e.message);
    const std::string& target = newAir.target();

    // A backup that is still another name of the AIR file was made by an
    // update that was stopped before its rename: it already holds these
    // bytes, and it is this update's backup.
    std::string backup = nextBackupName(target);
    bool haveBackup = false;
    if (const std::string last = previousBackupName(backup, target); !last.empty()) {
        const fio::FileIdentity id = fio::identify(last);
        haveBackup = id.valid && newAir.previous().valid && id.device == newAir.previous().device
                && id.inode == newAir.previous().inode;
        if (haveBackup) backup = last;
    }
    if (const auto slash = backup.find_last_of('/');
            backup.size() - (slash == std::string::npos ? 0 : slash + 1) > NAME_MAX)
        return fail("The backup of " + airPath + " would need a name longer than the file system allows: "
                + "give the file a shorter name.");
    // Other names of the file would keep the old contents after the rename.
    const unsigned links = newAir.previousLinks() - (haveBackup ? 1 : 0);
    if (links > 1)
        return fail(airPath + " has " + std::to_string(links)
                + " names (hard links); the update would leave the other names with the old contents. "
                  "Update a copy of its own.");

    ScriptResult result = runUpdateScript(
            std::move(air), scriptText, definitionPath, defs, options.time ? *options.time : stampTime());
    if (refusedByWarnings(result)) return strictFailure(result);

    if (auto e = newAir.write(result.file)) return failBeforeCommit(e.message);
    if (auto e = newAir.flush()) return failBeforeCommit(e.message);

    auto logBytes = std::span(reinterpret_cast<const std::uint8_t*>(result.log.data()), result.log.size());
    fio::ReplaceFile log;
    if (logToFile) {
        if (auto e = log.open(options.logPath)) return failBeforeCommit(e.message);
        if (log.previous().valid && fio::isReadOnly(log.target()))
            return failBeforeCommit(
                    "Unable to write to " + options.logPath + ", it is read-only or opened by someone else.");
        if (auto e = log.write(logBytes)) return failBeforeCommit(e.message);
        if (auto e = log.flush()) return failBeforeCommit(e.message);
    }

    const bool madeBackup = !haveBackup;
    if (madeBackup)
        if (auto e = fio::addName(target, backup)) return failBeforeCommit(e.message);
    if (auto e = newAir.commit()) {
        if (madeBackup) fio::removeFile(backup);
        return failBeforeCommit(e.message);
    }
    fio::Error logFailure =
            logToFile ? log.commit() : writeOutput(options.logPath, logBytes, options.standardOutput);
    if (logFailure) {
        // The backup is the original: it goes back under the AIR name.
        std::string text = logFailure.message;
        if (fio::renameFile(backup, target)) text += " The original file is kept as " + backup + ".";
        return failBeforeCommit(text);
    }
    if (result.stoppedOnUnknownType) {
        if (error) *error = "The script stopped at a field line with an unknown type; see " + options.logPath + ".";
        return 1;
    }
    return 0;
}

} // namespace

int applyUpdateScript(const std::string& airPath, const std::string& scriptPath,
        const std::string& definitionPath, ToolDefinitions& defs, const UpdateOptions& options,
        std::string* error)
{
    try {
        return updateFiles(airPath, scriptPath, definitionPath, defs, options, error);
    } catch (const std::bad_alloc&) {
        // Every file step undoes itself as it unwinds; the AIR file is as it was.
        if (error) *error = "There is not enough memory to update " + airPath + ".";
        return 1;
    }
}

} // namespace patchwise
