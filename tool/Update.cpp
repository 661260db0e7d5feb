// The update's file transaction: reads the AIR file and the script, and puts
// the new file, its numbered backup and the log in place, or nothing at all.
#include "tool/Update.h"

#include "base/FileIO.h"
#include "tool/Dump.h"
#include "tool/Output.h"
#include "tool/OutputPath.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"
#include "tool/UpdateRun.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace patchwise {

using text::dec;

namespace {

namespace fio = base::fileio;

// The backup numbered one below `next` ("" below .001).
std::string previousBackupName(const std::string& next, const std::string& airPath)
{
    const unsigned n = static_cast<unsigned>(std::stoul(next.substr(airPath.size() + 1)));
    if (n <= 1)
        return {};
    std::string number = dec(n - 1);
    while (number.size() < 3)
        number.insert(0, "0");
    return airPath + "." + number;
}

} // namespace

std::string nextBackupName(const std::string& airPath)
{
    for (unsigned n = 1;; ++n) {
        std::string number = dec(n);
        while (number.size() < 3)
            number.insert(0, "0");
        std::string name = airPath + "." + number;
        if (!fio::exists(name))
            return name;
    }
}

namespace {

// The file-level steps of an update. The AIR name always holds a whole file:
// the new contents are written and flushed under a temporary name, the backup
// is a further name of the original (nothing is renamed away from the AIR
// name), and one rename puts the new file in place.
class UpdateFiles {
public:
    UpdateFiles(const std::string& airPath, const std::string& scriptPath, const std::string& definitionPath,
            ToolDefinitions& defs, const UpdateOptions& options, std::string* error)
            : airPath_(airPath), scriptPath_(scriptPath), definitionPath_(definitionPath), defs_(defs),
              options_(options), error_(error)
    {}

    // 0 on success, 1 on failure (the message in *error).
    int run()
    {
        try {
            return transact() ? 0 : 1;
        } catch (const UpdateSource::ReadFailure& e) {
            // Reads end before the commit begins: the temporaries go as
            // they unwind and the AIR file is as it was.
            failBeforeCommit(e.error ? e.error.message : changedMessage());
            return 1;
        }
    }

private:
    bool transact()
    {
        if (!readInputs())
            return false;
        if (options_.dryRun)
            return dryRun();
        if (!prepareNewFile())
            return false;
        UpdateRun& run = runScript();
        if (refusedByWarnings(run))
            return strictFailure(run);
        if (!writeNewFile(run))
            return false;
        const std::string& log = run.log();
        const auto logBytes = std::span(reinterpret_cast<const std::uint8_t*>(log.data()), log.size());
        if (!writeLog(logBytes) || !commit(logBytes))
            return false;
        if (run.stoppedOnUnknownType())
            return fail("The script stopped at a field line with an unknown type; see "
                    + (isStandardOutput(options_.logPath) ? std::string("standard output") : options_.logPath)
                    + ".");
        return true;
    }

    bool fail(const std::string& message)
    {
        if (error_)
            *error_ = message;
        return false;
    }
    // Nothing reached the disk: a later log must still show the definition line.
    bool failBeforeCommit(const std::string& message)
    {
        if (!wasLoaded_)
            defs_.unload();
        return fail(message);
    }

    // Where the log goes, and the AIR file and the script as read.
    bool readInputs()
    {
        // A log on the standard output, a device or a FIFO is written as it
        // is; a dry run writes no log file at all.
        logToFile_ = !options_.dryRun && !writesInPlace(options_.logPath);
        if (logToFile_
                && (replacesAirOrBackup(options_.logPath, airPath_)
                        || sameFile(options_.logPath, scriptPath_)))
            return fail("The log " + options_.logPath
                    + " would replace the AIR file, one of its backups or the script.");
        if (logToFile_ && sameFile(options_.logPath, definitionPath_))
            return fail("The log " + options_.logPath + " would replace the definition file.");
        // A device or FIFO is opened now: one that cannot take the log is
        // refused before anything changes.
        if (!options_.dryRun && !logToFile_ && !isStandardOutput(options_.logPath))
            if (auto e = placedLog_.open(options_.logPath))
                return fail(e.message);
        if (auto e = air_.open(airPath_, airRead_))
            return fail(e.message);
        if (auto e = fio::readFile(scriptPath_, script_))
            return fail(e.message);
        if (isUtf16(script_))
            return fail("The script " + scriptPath_ + " is UTF-16 text; save it as UTF-8 or plain text.");
        wasLoaded_ = defs_.loaded();
        return true;
    }

    // A byte-order mark, or the zero bytes of mostly ASCII text in UTF-16.
    static bool isUtf16(const std::vector<std::uint8_t>& s)
    {
        if (s.size() < 2)
            return false;
        if ((s[0] == 0xFF && s[1] == 0xFE) || (s[0] == 0xFE && s[1] == 0xFF))
            return true;
        return (s[0] == 0) != (s[1] == 0);
    }

    // In a folder with the sticky bit, only the owner of a file (or of the
    // folder) may rename over it: the rename would fail after the backup
    // name was made, and that name could not be removed either.
    bool mayReplaceInStickyFolder(const std::string& target) const
    {
        const std::string folder = target.substr(0, target.find_last_of('/') + 1);
        struct stat f {
        }, d{};
        if (::stat(target.c_str(), &f) != 0 || ::stat(folder.empty() ? "." : folder.c_str(), &d) != 0)
            return true;
        const uid_t me = ::geteuid();
        return !(d.st_mode & S_ISVTX) || me == 0 || me == f.st_uid || me == d.st_uid;
    }

    UpdateRun& runScript()
    {
        const std::string_view text(reinterpret_cast<const char*>(script_.data()), script_.size());
        run_.emplace(std::move(air_), text, definitionPath_, defs_);
        run_->runCommands();
        return *run_;
    }
    std::time_t stampTimeOfRun() const { return options_.time ? *options_.time : stampTime(); }

    // Reports the lines the update cannot carry out; true when --strict
    // makes them stop it.
    bool refusedByWarnings(const UpdateRun& run) const
    {
        if (options_.warning)
            for (const ScriptWarning& w : run.warnings())
                options_.warning(w);
        return options_.strict && !run.warnings().empty();
    }

    bool strictFailure(const UpdateRun& run)
    {
        return failBeforeCommit("The script has " + dec(static_cast<long long>(run.warnings().size()))
                + (run.warnings().size() == 1 ? " line" : " lines")
                + " that the update cannot carry out; nothing was written.");
    }

    // Every rule of the script, the file's CRC included, without writing
    // anything: no backup, no log file, no temporary file.
    bool dryRun()
    {
        UpdateRun& run = runScript();
        if (refusedByWarnings(run))
            return strictFailure(run);
        run.writeFile([](std::span<const std::uint8_t>) {}, stampTimeOfRun());
        if (auto e = writeOutput("-", run.log(), options_.standardOutput))
            return fail(e.message);
        if (run.stoppedOnUnknownType())
            return fail("The script stops at a field line with an unknown type.");
        return true;
    }

    // The replacement of the AIR file (a symbolic link is followed: its
    // target is updated and backed up beside it) and the backup's name.
    bool prepareNewFile()
    {
        if (auto e = newAir_.open(airPath_))
            return fail(e.message);
        const std::string& target = newAir_.target();
        // The editor's save refuses a file without write permission; so does the update.
        if (fio::isReadOnly(target))
            return fail(fio::readOnlyMessage(airPath_));
        if (!mayReplaceInStickyFolder(target))
            return fail(fio::describe(EPERM, airPath_));
        // A backup that is still another name of the AIR file was made by an
        // update that was stopped before its rename: it already holds these
        // bytes, and it is this update's backup.
        backup_ = nextBackupName(target);
        if (const std::string last = previousBackupName(backup_, target); !last.empty()) {
            const fio::FileIdentity id = fio::identify(last);
            const fio::FileIdentity& air = newAir_.previous();
            haveBackup_ = id.valid && air.valid && id.device == air.device && id.inode == air.inode;
            if (haveBackup_)
                backup_ = last;
        }
        if (const auto slash = backup_.find_last_of('/');
                backup_.size() - (slash == std::string::npos ? 0 : slash + 1) > NAME_MAX)
            return fail("The backup of " + airPath_
                    + " would need a name longer than the file system allows: "
                    + "give the file a shorter name.");
        // Other names of the file would keep the old contents after the rename.
        const unsigned links = newAir_.previousLinks() - (haveBackup_ ? 1 : 0);
        if (links > 1)
            return fail(airPath_ + " has " + std::to_string(links)
                    + " names (hard links); the update would leave the other names with the old contents. "
                      "Update a copy of its own.");
        return true;
    }

    // The new AIR file, complete and flushed under its temporary name.
    bool writeNewFile(UpdateRun& run)
    {
        fio::Error failed;
        const auto stamp = run.writeFile(
                [&](std::span<const std::uint8_t> piece) {
                    if (!failed)
                        failed = newAir_.write(piece);
                },
                stampTimeOfRun());
        if (failed)
            return failBeforeCommit(failed.message);
        if (stamp)
            if (auto e = placeStamp(*stamp))
                return failBeforeCommit(e.message);
        if (auto e = newAir_.flush())
            return failBeforeCommit(e.message);
        // The stamp went in through a name: it must be the file just flushed.
        if (stamp
                && !(newAir_.written().device == stampedDevice_ && newAir_.written().inode == stampedInode_))
            return failBeforeCommit(fio::describe(EIO, airPath_));
        return true;
    }

    // The stamp holds the CRC of the whole file, so it is written last, over
    // the zeros in its slots. The temporary is locked and its folder's other
    // writers keep away from it; flush() syncs the file, not a descriptor.
    fio::Error placeStamp(const UpdateRun::Stamp& stamp)
    {
        const std::string& temp = newAir_.temporary();
        const int fd = fio::ops().open(temp.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0);
        if (fd < 0) {
            const int err = errno;
            return {err, fio::describe(err, airPath_)};
        }
        struct stat st {};
        int err = ::fstat(fd, &st) != 0 ? errno : 0;
        stampedDevice_ = st.st_dev;
        stampedInode_ = st.st_ino;
        std::size_t done = 0;
        while (!err && done < stamp.bytes.size()) {
            const ssize_t w = ::pwrite(fd, stamp.bytes.data() + done, stamp.bytes.size() - done,
                    static_cast<off_t>(stamp.offset + done));
            if (w < 0 && errno != EINTR)
                err = errno;
            else if (w > 0)
                done += static_cast<std::size_t>(w);
        }
        if (fio::ops().close(fd) != 0 && !err)
            err = errno;
        if (err)
            return {err, fio::describe(err, airPath_)};
        return {};
    }

    // The log file, complete under its temporary name.
    bool writeLog(std::span<const std::uint8_t> logBytes)
    {
        if (!logToFile_)
            return true;
        if (auto e = log_.open(options_.logPath))
            return failBeforeCommit(e.message);
        if (log_.previous().valid && fio::isReadOnly(log_.target()))
            return failBeforeCommit("Unable to write to " + options_.logPath
                    + ", it is read-only or opened by someone else.");
        if (auto e = log_.write(logBytes))
            return failBeforeCommit(e.message);
        if (auto e = log_.flush())
            return failBeforeCommit(e.message);
        return true;
    }

    // The backup, then the log, then one rename for the AIR file. A kill
    // between the two leaves the old AIR file beside this run's log (whose
    // crc line the file's stamp does not match), never the new file beside
    // an older log.
    bool commit(std::span<const std::uint8_t> logBytes)
    {
        const std::string& target = newAir_.target();
        // Another program may have replaced or rewritten the file since it
        // was read; writing now would throw its version away.
        if (fio::identify(target) != airRead_)
            return failBeforeCommit(changedMessage());
        const bool madeBackup = !haveBackup_;
        if (madeBackup)
            if (auto e = fio::addName(target, backup_))
                // link() fails with "not found" when the name is being
                // renamed over at that moment: that is the other writer.
                return failBeforeCommit(fio::identify(target) != airRead_ ? changedMessage() : e.message);
        auto undoBackup = [&](std::string text) {
            if (madeBackup)
                if (fio::removeFile(backup_))
                    text += " " + backup_ + " is left as a second name of " + airPath_
                            + "; remove it (its owner or the folder's owner can).";
            return failBeforeCommit(text);
        };
        // Should the AIR rename fail, the previous log goes back.
        const std::string keptLog = logToFile_ && log_.previous().valid ? keepAside(log_.target()) : "";
        const fio::Error logFailure = logToFile_ ? log_.commit()
                : placedLog_.isOpen()            ? placedLog_.write(logBytes)
                                      : writeOutput(options_.logPath, logBytes, options_.standardOutput);
        if (logFailure) {
            if (!keptLog.empty())
                fio::removeFile(keptLog);
            return undoBackup(logFailure.message);
        }
        auto undoLog = [&](const std::string& text) {
            if (logToFile_
                    && (keptLog.empty() ? !log_.previous().valid && !fio::removeFile(log_.target())
                                        : !fio::renameFile(keptLog, log_.target())))
                return undoBackup(text);
            return undoBackup(text + " The log "
                    + (isStandardOutput(options_.logPath) ? std::string("on standard output")
                                                          : options_.logPath)
                    + " describes an update that was not made.");
        };
        if (fio::identify(target) != airRead_)
            return undoLog(changedMessage());
        if (auto e = newAir_.commit())
            return undoLog(e.message);
        if (!keptLog.empty())
            fio::removeFile(keptLog);
        return true;
    }

    // A further name for the file at path, shaped like its temporaries so
    // that the next replacement of path removes it if this run is killed;
    // empty when none could be made.
    static std::string keepAside(const std::string& path)
    {
        const std::string folder = path.substr(0, path.find_last_of('/') + 1);
        const std::string prefix = folder + fio::temporaryPrefix(path);
        for (unsigned n = 0; n < 20; ++n) {
            std::string suffix = std::to_string((unsigned(::getpid()) * 7919u + n) % 1000000u);
            suffix.insert(0, 6 - suffix.size(), '0');
            const fio::Error e = fio::addName(path, prefix + suffix);
            if (!e)
                return prefix + suffix;
            if (e.code != EEXIST)
                break;
        }
        return {};
    }

    std::string changedMessage() const
    {
        return airPath_
                + " was changed by another program while the update ran; nothing was written. "
                  "Run the update again.";
    }

    const std::string& airPath_;
    const std::string& scriptPath_;
    const std::string& definitionPath_;
    ToolDefinitions& defs_;
    const UpdateOptions& options_;
    std::string* error_;
    bool logToFile_ = false;
    bool wasLoaded_ = false;
    UpdateSource air_;
    std::optional<UpdateRun> run_;
    std::vector<std::uint8_t> script_;
    dev_t stampedDevice_ = 0;
    ino_t stampedInode_ = 0;
    fio::ReplaceFile newAir_, log_;
    fio::FileIdentity airRead_;
    InPlaceOutput placedLog_;
    std::string backup_;
    bool haveBackup_ = false;
};

} // namespace

int applyUpdateScript(const std::string& airPath, const std::string& scriptPath,
        const std::string& definitionPath, ToolDefinitions& defs, const UpdateOptions& options,
        std::string* error)
{
    try {
        return UpdateFiles(airPath, scriptPath, definitionPath, defs, options, error).run();
    } catch (const std::bad_alloc&) {
        // Every file step undoes itself as it unwinds; the AIR file is as it was.
        if (error)
            *error = "There is not enough memory to update " + airPath + ".";
        return 1;
    }
}

} // namespace patchwise
