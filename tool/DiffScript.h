#pragma once
// The writer of the diff script (an update script that turns one file into
// another): its plan over the whole file and its lines for one record.
#include "tool/Diff.h"
#include "tool/DiffRecords.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace patchwise::diffing {

class ScriptWriter {
public:
    ScriptWriter(ToolDefinitions& defs, const std::string& defPath) : defs_(defs), defPath_(defPath) {}

    // keepOrder: records move only by being deleted and added again at the
    // end. Without it, records are changed where they stand and a
    // different order is left as a note. orderBroken: whether the first way
    // had to add records again that the old file holds.
    DiffResult run(ByteView oldFile, ByteView newFile, bool keepOrder, bool* orderBroken = nullptr);

private:
    // Which old record each new one is, and which new records stay where
    // they are (the rest are added at the end).
    struct Plan {
        std::vector<std::size_t> oldOf; // per new record, or diff::kNone
        std::vector<bool> isKept;
        std::unordered_map<std::uint32_t, std::size_t> keptCount; // kept records per id
        std::size_t lastAdded = diff::kNone;
    };

    // DiffScript.cpp: the plan over the whole file.
    Plan plan(const diff::RecordList& o, const diff::RecordList& n, bool keepOrder, bool* orderBroken);
    void deleteLines(const diff::RecordList& o, const Plan& p);
    void changeKept(const diff::RecordList& o, const diff::RecordList& n, const Plan& p);
    void appendLines(const diff::RecordList& n, const Plan& p);
    void changeCutRecord(const ParsedFile& o, const ParsedFile& n, const Plan& p);
    void finish(DiffResult& result);
    void cannot(const std::string& what);
    std::vector<bool> maskFor(std::size_t newIndex, std::size_t length) const;
    void planRevision(ByteView oldFile, ByteView newFile, const diff::RecordList& n);
    void verify(ByteView oldFile, ByteView newFile);

    // DiffScriptLines.cpp: the lines that change one record.
    void change(std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, bool absent,
            bool mayEndScript);
    void fixBytes(
            std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, std::uint32_t size);
    void fieldLines(
            std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, bool atLeastOne);
    bool typedFieldLine(std::uint32_t id, const diff::FieldLayout& f, Bytes& cur, ByteView target,
            const std::vector<bool>& mask);
    void tableBlock(std::uint32_t id, RecordClass cls, ByteView t, Bytes& cur);
    bool textLine(std::uint32_t id, ByteView t, Bytes& cur);
    bool textLine(std::uint32_t id, ByteView t, Bytes& cur, bool ascii);
    bool unbrokenTextLine(std::uint32_t id, ByteView t);

    ToolDefinitions& defs_;
    const std::string& defPath_;
    std::string out_;
    std::string notes_;
    std::vector<std::string> warnings_;
    std::size_t newFirst404_ = diff::kNone;
    std::size_t newFirst1199_ = diff::kNone;
    std::optional<std::string> revisionLine_;
    std::string last_; // the line that ends the script, without a line break
    std::size_t revisionSlots_ = 0;
};

// Whether a and b agree where mask is false.
bool equalMasked(ByteView a, ByteView b, const std::vector<bool>& mask);

} // namespace patchwise::diffing
