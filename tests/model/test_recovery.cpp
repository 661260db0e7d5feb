// The recovery record: written and read back whole, every damage refused,
// and replayed through the edit API to the state the edits left.
#include "model/CTLDoc.h"
#include "base/FileIO.h"
#include "model/Recovery.h"

#include "common/AirImage.h"
#include "common/EditScript.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

using namespace model;
using namespace airtest;

namespace {

const char* kDefs = "[Records]\n"
                    "1f4=Engine limits,record\n"
                    "1f5=Type name,text\n"
                    "[1f4]\n"
                    "1=0,int16,Idle speed\n"
                    "2=2,bool,Has starter\n";

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        defs = dir.write("Tarlo.ini", kDefs);
        AirImage img;
        img.record(0x1F5, cString("name")).record(0x1F4, Bytes{0x10, 0x02, 1, 0});
        for (std::uint32_t i = 0; i < 6; ++i)
            img.record(0x300 + i, Bytes(8 + i, std::uint8_t(i)));
        air = dir.write("plane.air", img.bytes());
    }
    // A document of the file as it is on disk.
    void open(CTLDoc& doc) const
    {
        doc.setDefinitionsPath(defs);
        ASSERT_FALSE(doc.load(air));
    }
    static Bytes composed(CTLDoc& doc)
    {
        doc.ComposeImage();
        return doc.image();
    }

    TempDir dir{"recovery"};
    std::string defs, air;
};

TEST_F(RecoveryTest, ScriptedEditsRoundTripAndReplayToTheSameDocument)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        CTLDoc doc;
        open(doc);
        recovery::Log log(doc);
        EXPECT_EQ(log.base().path, air);
        EXPECT_EQ(log.base().hash, recovery::hashBytes(readBytes(air)));
        EXPECT_EQ(log.base().size, std::int64_t(readBytes(air).size()));
        EXPECT_EQ(log.base().mtimeNs, base::fileio::identify(air).mtimeNs);
        EditScript script(seed);
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(script.step(doc));
        ASSERT_EQ(log.edits().size(), 30u);

        const recovery::Record rec = log.snapshot(1700000000);
        recovery::Record back;
        ASSERT_EQ(recovery::decode(recovery::encode(rec), back), "");
        EXPECT_EQ(back, rec);

        CTLDoc again;
        open(again);
        ASSERT_EQ(recovery::apply(again, back, true), "") << "seed " << seed;
        EXPECT_TRUE(again.isModified() || composed(again) == readBytes(air));
        EXPECT_EQ(composed(again), composed(doc)) << "seed " << seed;
    }
}

TEST_F(RecoveryTest, EditsAfterASaveAreCountedFromTheSavedFile)
{
    CTLDoc doc;
    open(doc);
    recovery::Log log(doc);
    EditScript script(7);
    for (int i = 0; i < 5; ++i)
        script.step(doc);
    ASSERT_FALSE(doc.save(air));
    EXPECT_TRUE(log.edits().empty());
    EXPECT_EQ(log.base().hash, recovery::hashBytes(readBytes(air)));
    EXPECT_EQ(log.base().size, std::int64_t(readBytes(air).size()));
    for (int i = 0; i < 5; ++i)
        script.step(doc);
    CTLDoc again;
    open(again);
    ASSERT_EQ(recovery::apply(again, log.snapshot(0), true), "");
    EXPECT_EQ(composed(again), composed(doc));
}

TEST_F(RecoveryTest, EveryTruncationAndEveryBitFlipIsRefused)
{
    CTLDoc doc;
    open(doc);
    recovery::Log log(doc);
    EditScript script(3);
    for (int i = 0; i < 6; ++i)
        script.step(doc);
    const Bytes good = recovery::encode(log.snapshot(1));
    recovery::Record out;
    out.writtenAt = 42;
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(recovery::decode(std::span(good).first(n), out), "") << n;
    for (std::size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= std::uint8_t(1u << bit);
            EXPECT_NE(recovery::decode(bad, out), "") << i << ":" << bit;
        }
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_NE(recovery::decode(longer, out), "");
    EXPECT_EQ(out.writtenAt, 42) << "a refused record leaves the output alone";
}

TEST_F(RecoveryTest, ForeignAndFutureRecordsAreNamedAsSuch)
{
    recovery::Record rec;
    rec.base.path = air;
    Bytes future = recovery::encode(rec);
    future[8] = 2;
    recovery::Record out;
    EXPECT_NE(recovery::decode(future, out).find("newer version"), std::string::npos);
    EXPECT_NE(recovery::decode(readBytes(air), out).find("no recovery record"), std::string::npos);
    EXPECT_NE(recovery::decode(Bytes{}, out).find("no recovery record"), std::string::npos);
}

TEST_F(RecoveryTest, ReplayIsAllOrNothing)
{
    CTLDoc doc;
    open(doc);
    recovery::Log log(doc);
    EditScript script(11);
    for (int i = 0; i < 8; ++i)
        script.step(doc);
    recovery::Record rec = log.snapshot(0);
    // The last edit names a record the file does not have: nothing applies.
    recovery::Edit stray;
    stray.kind = ChangeKind::RecordData;
    stray.ordinal = 1000;
    rec.edits.push_back(stray);
    CTLDoc again;
    open(again);
    const Bytes before = composed(again);
    EXPECT_NE(recovery::apply(again, rec, true), "");
    EXPECT_FALSE(again.isModified());
    EXPECT_EQ(composed(again), before);

    // Strict: old bytes that are not the file's are refused; loose: they only need to fit.
    rec.edits.pop_back();
    recovery::Edit other;
    other.kind = ChangeKind::Bytes;
    other.ordinal = 1;
    other.recordId = 0x1F4;
    other.oldBytes = {0x99};
    other.newBytes = {0x55};
    recovery::Record lone;
    lone.base = rec.base;
    lone.edits = {other};
    CTLDoc third;
    open(third);
    EXPECT_NE(recovery::apply(third, lone, true).find("does not match"), std::string::npos);
    EXPECT_FALSE(third.isModified());
    EXPECT_EQ(recovery::apply(third, lone, false), "");
    ASSERT_TRUE(third.isRecord(2));
    EXPECT_EQ(third.data(2)[0], 0x55);
}

} // namespace
