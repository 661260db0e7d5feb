#include "tool/Update.h"

#include "model/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>

namespace patchwise {

using text::dec;
using text::hex;

namespace {

constexpr std::size_t kScriptPiece = 1022;

// The file being changed; records move in place, keeping their order.
class UpdateBuffer {
public:
    explicit UpdateBuffer(std::vector<std::uint8_t> bytes) : b_(std::move(bytes)) {}

    std::vector<std::uint8_t>& bytes() { return b_; }
    std::optional<RecordSpan> find(std::uint32_t id) const { return findFirstRecord(b_, id); }

    void replaceData(const RecordSpan& r, const std::vector<std::uint8_t>& data)
    {
        auto at = b_.begin() + static_cast<std::ptrdiff_t>(r.data);
        b_.erase(at, at + static_cast<std::ptrdiff_t>(r.present));
        b_.insert(b_.begin() + static_cast<std::ptrdiff_t>(r.data), data.begin(), data.end());
        storeU32(b_.data() + r.header + 4, static_cast<std::uint32_t>(data.size()));
    }
    void grow(const RecordSpan& r, std::uint32_t newLength)
    {
        b_.insert(b_.begin() + static_cast<std::ptrdiff_t>(r.data + r.present), newLength - r.present, 0);
        storeU32(b_.data() + r.header + 4, newLength);
    }
    void remove(const RecordSpan& r)
    {
        auto at = b_.begin() + static_cast<std::ptrdiff_t>(r.header);
        b_.erase(at, at + static_cast<std::ptrdiff_t>(8 + r.present));
    }
    // New records go after the last record the walk reaches (before any
    // stray bytes too short for a header), so the walk finds them. A last
    // record cut off by the end of the file would swallow a record placed
    // after it, so the new one goes before it.
    void append(std::uint32_t id, const std::vector<std::uint8_t>& data)
    {
        std::uint8_t head[8];
        storeU32(head, id);
        storeU32(head + 4, static_cast<std::uint32_t>(data.size()));
        std::size_t end = 0;
        forEachRecord(b_, [&](const RecordSpan& r) {
            end = r.present < r.length ? r.header : r.data + r.present;
            return true;
        });
        auto at = static_cast<std::ptrdiff_t>(end);
        b_.insert(b_.begin() + at, data.begin(), data.end());
        b_.insert(b_.begin() + at, head, head + 8);
    }

private:
    std::vector<std::uint8_t> b_;
};

// Conversion of a real to int as the processor's truncating conversion does:
// out of range and NaN give INT32_MIN.
std::int32_t truncToInt(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

void putLE(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int width)
{
    for (int i = 0; i < width; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void appendLE(std::vector<std::uint8_t>& b, std::uint64_t v, int width)
{
    for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::string d32(std::uint32_t v) { return dec(static_cast<std::int32_t>(v)); }

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
            pos_ = end;
            // The line is a C string: it ends at a zero byte.
            if (auto z = piece.find('\0'); z != std::string_view::npos) piece = piece.substr(0, z);
            if (!line(piece)) {
                result.stoppedOnUnknownType = true;
                break;
            }
        }
        finish(time);
        result.file = std::move(buf_.bytes());
        result.log = std::move(log_);
        return result;
    }

private:
    void cannot(std::string_view line) { log_ += "CANNOT PROCESS: " + std::string(line); }

    // false: stop reading the script.
    bool line(std::string_view line)
    {
        if (line.empty() || line[0] == ';') return true;
        text::Scanner sc(line);
        auto keyword = sc.word();
        if (!keyword) return true;
        if (text::equalsIgnoreCase(*keyword, "field")) return field(line);
        if (text::equalsIgnoreCase(*keyword, "text")) textLine(line);
        else if (text::equalsIgnoreCase(*keyword, "delete")) deleteLine(line);
        else if (text::equalsIgnoreCase(*keyword, "record:")) recordLine(line);
        return true;
    }

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
            cannot(line);
            return false;
        }
        // Read the value before anything changes.
        std::optional<std::int32_t> integer;
        std::optional<double> real;
        switch (*type) {
        case ToolType::Bool:
        case ToolType::Int8:
        case ToolType::Int16:
        case ToolType::Int32:
        case ToolType::Thrust: integer = text::Scanner(*value).integer(); break;
        case ToolType::Text:
        case ToolType::None: break;
        default: real = text::Scanner(*value).real(); break;
        }
        if (*type != ToolType::Text && !integer && !real) {
            cannot(line);
            return true;
        }

        std::uint32_t size = defs_.definedRecordSize(*id, defPath_, log_);
        auto rec = buf_.find(*id);
        if (rec) {
            if (rec->length < size) {
                log_ += "Increased size of: " + hex(*id) + " from " + d32(rec->length) + " to " + d32(size) + "\n";
                buf_.grow(*rec, size);
                rec = buf_.find(*id);
            }
        } else if (size == 0) {
            log_ += "Section " + hex(*id) + " not defined in tarlo.ini\n";
            return true;
        } else {
            log_ += "ADD Section " + hex(*id) + ", Length " + d32(size) + "\n";
            buf_.append(*id, std::vector<std::uint8_t>(size, 0));
            rec = buf_.find(*id);
        }
        if (!rec) {
            cannot(line);
            return true;
        }
        if (*type == ToolType::Text) return true;

        const int width = typeRow(*type).width;
        if (*offset > rec->present || rec->present - *offset < static_cast<std::size_t>(width)) {
            cannot(line);
            return true;
        }
        std::size_t at = rec->data + *offset;
        auto& b = buf_.bytes();
        std::string prefix = hex(*id) + ":" + hex(*offset) + " := ";
        auto scaled = [&](double scale) { return truncToInt(*real * scale); };
        std::int32_t logged = 0;
        switch (*type) {
        case ToolType::Bool:
        case ToolType::Int32:
        case ToolType::Thrust:
        case ToolType::Int8:
        case ToolType::Int16:
            logged = *integer;
            break;
        case ToolType::Double:
            putLE(b, at, std::bit_cast<std::uint64_t>(*real), 8);
            log_ += prefix + text::fixed6(*real) + "\n";
            return true;
        case ToolType::Pct16: logged = scaled(16384.0); break;
        case ToolType::Ang16: logged = scaled(182.0); break;
        case ToolType::Aspd: logged = scaled(128.0); break;
        case ToolType::Prpm: logged = truncToInt(*real * 6400.0 / 3000.0); break;
        case ToolType::Mach: logged = scaled(20480.0); break;
        case ToolType::Fwgt: logged = scaled(256.0); break;
        case ToolType::M256: logged = scaled(6.5025); break;
        case ToolType::Text:
        case ToolType::None: return true;
        }
        putLE(b, at, static_cast<std::uint32_t>(logged), width);
        log_ += prefix + dec(logged) + "\n";
        return true;
    }

    void textLine(std::string_view line)
    {
        text::Scanner sc(line);
        sc.word();
        auto second = sc.word();
        std::size_t start = sc.pos();
        while (start < line.size() && text::isSpace(line[start])) ++start;
        if (!second || start >= line.size()) {
            cannot(line);
            return;
        }
        std::string txt(line.substr(start));
        if (text::equalsIgnoreCase(*second, "revid")) {
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
            buf_.replaceData(*rec, data);
        } else {
            buf_.append(*id, data);
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
        auto listing = [&](const std::vector<std::uint8_t>& bytes) {
            appendTableListing(log_, cls, bytes, static_cast<std::uint32_t>(bytes.size()));
            log_ += "\n";
        };
        std::uint32_t newLength = static_cast<std::uint32_t>(data.size());
        if (auto rec = buf_.find(*id)) {
            log_ += "\nOriginal record: " + hex(*id, 4) + " Length " + d32(rec->length) + "\n";
            const auto& b = buf_.bytes();
            appendTableListing(log_, cls, std::span(b).subspan(rec->data, rec->present), rec->length);
            log_ += "\n";
            log_ += "\nReplacement record: " + hex(*id, 4) + " Length " + d32(newLength) + "\n";
            buf_.replaceData(*rec, data);
        } else {
            buf_.append(*id, data);
            log_ += "\nInsert record: " + hex(*id, 4) + " Length " + d32(newLength) + "\n";
        }
        listing(data);
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
                appendLE(data, static_cast<std::uint32_t>(*v), 2);
            }
            return true;
        }
        case RecordClass::PointTable: {
            if (!ds.word()) return false;
            auto n = ds.integer();
            if (!n || *n < 0 || 4 + 16ull * std::uint64_t(*n) > kMaxLength) return false;
            appendLE(data, static_cast<std::uint32_t>(*n), 4);
            for (std::int64_t i = 0; i < 2 * std::int64_t(*n); ++i) {
                auto v = ds.real();
                if (!v) return false;
                appendLE(data, std::bit_cast<std::uint64_t>(*v), 8);
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
            appendLE(data, static_cast<std::uint32_t>(*rows), 4);
            appendLE(data, static_cast<std::uint32_t>(*cols), 4);
            for (std::uint64_t i = 0; i < count; ++i) {
                auto v = ds.real();
                if (!v) return false;
                appendLE(data, std::bit_cast<std::uint64_t>(*v), 8);
            }
            return true;
        }
        case RecordClass::Unclassified: break;
        }
        return false;
    }

    void finish(std::time_t time)
    {
        auto& b = buf_.bytes();
        log_ += "\nRecord count: " + dec(countRecords(b)) + "\n";
        clearStamp(b);
        if (revision_) storeRevision(b, *revision_);
        std::uint32_t crc = crc32(b);
        log_ += "crc " + hex(crc, 8) + "\n";
        writeStamp(b, crc, time);
    }

    UpdateBuffer buf_;
    std::string_view script_;
    std::size_t pos_ = 0;
    const std::string& defPath_;
    ToolDefinitions& defs_;
    std::string log_;
    std::optional<std::string> revision_;
};

} // namespace

ScriptResult runUpdateScript(std::vector<std::uint8_t> file, std::string_view script,
                             const std::string& definitionPath, ToolDefinitions& defs, std::time_t time)
{
    return ScriptRun(std::move(file), script, definitionPath, defs).run(time);
}

std::string nextBackupName(const std::string& airPath)
{
    for (unsigned n = 1;; ++n) {
        std::string number = dec(n);
        while (number.size() < 3) number.insert(0, "0");
        std::string name = airPath + "." + number;
        if (!model::fileio::exists(name)) return name;
    }
}

int applyUpdateScript(const std::string& airPath, const std::string& scriptPath, const std::string& definitionPath,
                      ToolDefinitions& defs, const UpdateOptions& options, std::string* error)
{
    namespace fio = model::fileio;
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return 1;
    };
    if (sameFile(options.logPath, airPath) || sameFile(options.logPath, scriptPath))
        return fail("The log " + options.logPath + " would replace the AIR file or the script.");
    std::vector<std::uint8_t> air, script;
    if (auto e = fio::readFile(airPath, air)) return fail(e.message);
    if (auto e = fio::readFile(scriptPath, script)) return fail(e.message);

    const bool wasLoaded = defs.loaded();
    std::string_view scriptText(reinterpret_cast<const char*>(script.data()), script.size());
    ScriptResult result = runUpdateScript(std::move(air), scriptText, definitionPath, defs,
                                          options.time ? *options.time : stampTime());

    // Nothing reached the disk: a later log must still show the definition line.
    auto undoLoad = [&] {
        if (!wasLoaded) defs.unload();
    };
    std::error_code ec;
    const auto originalPerms = std::filesystem::status(airPath, ec).permissions();
    const bool keepPerms = !ec;
    const std::string backup = nextBackupName(airPath);
    if (auto e = fio::renameFile(airPath, backup)) {
        undoLoad();
        return fail(e.message);
    }
    auto restore = [&](const std::string& message) {
        std::string text = message;
        if (auto back = fio::renameFile(backup, airPath))
            text += " The original file is kept as " + backup + ".";
        undoLoad();
        return fail(text);
    };
    if (auto e = fio::writeFileAtomic(airPath, result.file)) return restore(e.message);
    // The new file keeps the permissions the old one had.
    if (keepPerms) std::filesystem::permissions(airPath, originalPerms, ec);
    auto logBytes = std::span(reinterpret_cast<const std::uint8_t*>(result.log.data()), result.log.size());
    if (auto e = fio::writeFileAtomic(options.logPath, logBytes)) return restore(e.message);
    if (result.stoppedOnUnknownType) {
        if (error) *error = "The script stopped at a field line with an unknown type; see " + options.logPath + ".";
        return 1;
    }
    return 0;
}

} // namespace patchwise
