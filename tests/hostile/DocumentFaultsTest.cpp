// The editor's document under file-system faults: a failed save or load is
// reported with a sentence naming the file or the cause, and never leaves the
// user's file empty, truncated, replaced or lost, nor stray temporaries.
#include "FaultOps.h"
#include "HostileSupport.h"

#include "model/CTLDoc.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace hostile;
using namespace airtest;
using model::CTLDoc;

namespace {

// A copy of an entry's bytes (the document hands out views).
std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

const Bytes kOriginal = concat({record(0x1F5, {'o', 'l', 'd', 0}), record(0x410, Bytes(64, 0x11)),
                                record(0x1F6, Bytes(300, 0x22))});

class DocumentFaults : public ::testing::Test {
protected:
    DocumentFaults() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        path_ = dir_.file("plane.air");
        writeBytes(path_, kOriginal);
        EXPECT_FALSE(doc_.load(path_));
        // An edit that changes the file's length, so a partial write would show.
        EXPECT_TRUE(doc_.setRecordData(1, Bytes(5000, 0x33)));
        doc_.setModified();
    }

    // The user's file holds exactly what it held, and the folder holds nothing else.
    void expectUntouched(const std::vector<std::string>& names = {"plane.air"})
    {
        EXPECT_EQ(readBytes(path_), kOriginal);
        EXPECT_EQ(dir_.names(), names);
        EXPECT_TRUE(doc_.isModified()) << "a failed save must not mark the document clean";
        EXPECT_EQ(doc_.fullPath(), path_);
    }

    TempDir dir_;
    std::string path_;
    CTLDoc doc_;
};

} // namespace

TEST_F(DocumentFaults, FailedSavesKeepTheFileAndReportTheCause)
{
    struct Case {
        const char* what;
        void (*arm)(FaultPlan&);
        std::string expected; // message, with %1 for the path
    };
    const Case cases[] = {
        {"disk full after 100 bytes", [](FaultPlan& p) { p.writeBudget = 100; p.writeErrno = ENOSPC; },
         "Destination disk drive is full."},
        {"disk full at once", [](FaultPlan& p) { p.writeBudget = 0; p.writeErrno = ENOSPC; },
         "Destination disk drive is full."},
        {"quota exceeded", [](FaultPlan& p) { p.writeBudget = 4096; p.writeErrno = EDQUOT; },
         "Destination disk drive is full."},
        {"I/O error in the middle", [](FaultPlan& p) { p.writeBudget = 2500; p.writeErrno = EIO; }, ""},
        {"flush to disk fails", [](FaultPlan& p) { p.fsyncErrno = EIO; }, ""},
        {"close reports a late write error", [](FaultPlan& p) { p.closeErrno = ENOSPC; },
         "Destination disk drive is full."},
        {"read-only folder", [](FaultPlan& p) { p.openForWriteErrno = EACCES; }, "Access to %1 was denied."},
        {"read-only file system", [](FaultPlan& p) { p.openForWriteErrno = EROFS; },
         "Unable to write to %1, it is read-only or opened by someone else."},
        {"rename refused", [](FaultPlan& p) { p.renameErrno = EACCES; }, "Access to %1 was denied."},
        {"file busy", [](FaultPlan& p) { p.renameErrno = EBUSY; },
         "A sharing violation occurred while accessing %1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            Faults faults;
            c.arm(plan());
            base::fileio::Error e = doc_.save(path_);
            ASSERT_TRUE(e) << "the failure must be reported";
            EXPECT_FALSE(e.message.empty());
            if (!c.expected.empty()) {
                std::string expected = c.expected;
                if (auto at = expected.find("%1"); at != std::string::npos)
                    expected.replace(at, 2, path_);
                EXPECT_EQ(e.message, expected);
            } else {
                EXPECT_NE(e.message.find(path_), std::string::npos) << e.message;
            }
        }
        expectUntouched();
    }

    // Once the fault is gone, the same document saves completely.
    ASSERT_FALSE(doc_.save(path_));
    EXPECT_FALSE(doc_.isModified());
    EXPECT_EQ(readBytes(path_), doc_.image());
    EXPECT_EQ(readBytes(path_).size(), kOriginal.size() - 4 + 5000);
}

TEST_F(DocumentFaults, ReadOnlyFileAndFolderPathsAreRefused)
{
    // A file the user made read-only stays as it is, even for root.
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read);
    base::fileio::Error e = doc_.save(path_);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message, "Unable to write to " + path_ + ", it is read-only or opened by someone else.");
    expectUntouched();
    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);

    // Save As onto a folder: refused, the folder and its contents kept.
    fs::create_directory(dir_.file("folder.air"));
    writeBytes(dir_.dir() / "folder.air" / "inside", {1, 2, 3});
    e = doc_.save(dir_.file("folder.air"));
    ASSERT_TRUE(e);
    EXPECT_NE(e.message.find("folder.air"), std::string::npos) << e.message;
    EXPECT_TRUE(fs::is_directory(dir_.file("folder.air")));
    EXPECT_EQ(readBytes(dir_.dir() / "folder.air" / "inside"), (Bytes{1, 2, 3}));
    expectUntouched({"folder.air", "plane.air"});

    // Save As into a folder that does not exist (removed after it was chosen).
    e = doc_.save((dir_.dir() / "gone" / "new.air").string());
    ASSERT_TRUE(e);
    EXPECT_NE(e.message.find("gone"), std::string::npos) << e.message;
    expectUntouched({"folder.air", "plane.air"});
}

TEST_F(DocumentFaults, FailedLoadsKeepThePreviousDocument)
{
    const std::size_t entries = doc_.entryCount();
    const Bytes edited = copyOf(doc_.data(1));
    auto expectKept = [&] {
        EXPECT_TRUE(doc_.hasData());
        EXPECT_EQ(doc_.entryCount(), entries);
        EXPECT_EQ(copyOf(doc_.data(1)), edited);
        EXPECT_EQ(doc_.fullPath(), path_);
        EXPECT_TRUE(doc_.isModified());
    };

    // Chosen in the file dialog, then gone before it is opened.
    writeBytes(dir_.file("other.air"), record(1, {1}));
    {
        Faults faults;
        plan().vanishOnOpen = (dir_.dir() / "other.air").string();
        base::fileio::Error e = doc_.load(dir_.file("other.air"));
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message, dir_.file("other.air") + " was not found.");
    }
    expectKept();

    // A folder given as the file to open.
    base::fileio::Error e = doc_.load(dir_.path());
    ASSERT_TRUE(e);
    EXPECT_FALSE(e.message.empty());
    expectKept();

    // Unreadable file and an I/O error in the middle of the read.
    writeBytes(dir_.file("locked.air"), kOriginal);
    for (int err : {EACCES, EIO}) {
        Faults faults;
        if (err == EACCES)
            plan().openForReadErrno = EACCES;
        else
            plan().readErrno = EIO;
        e = doc_.load(dir_.file("locked.air"));
        ASSERT_TRUE(e);
        EXPECT_NE(e.message.find("locked.air"), std::string::npos) << e.message;
        expectKept();
    }

    // Reload of a file deleted behind the editor's back: reported, document kept.
    fs::remove(path_);
    e = doc_.reload();
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message, path_ + " was not found.");
    expectKept();
    // Saving then puts the user's edited data back.
    ASSERT_FALSE(doc_.save(path_));
    EXPECT_EQ(readBytes(path_), doc_.image());
}
