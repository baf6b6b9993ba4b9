// TesselLog, LogLinePrefix: UTF-16LE log lines with a local-time prefix,
// each line appended in one write, through the log's folder held since the
// log was opened. A line that cannot reach the file goes to standard error
// instead, so no report is ever lost. Where every line is repeated there,
// such a line still appears once.
#include "tessel_log.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "console.h"
#include "file_handle.h"
#include "folder.h"
#include "platform.h"
#include "tessel_file.h"
#include "text.h"
#include "create_folders.h"
#include "desktop_folder.h"
#include "folders.h"
#include "local_time.h"
#include "path.h"

namespace TesselLibrary {

namespace {

// UTF-16 little-endian bytes, whatever the host's byte order.
std::vector<std::uint8_t> LittleEndianBytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// What a log of this program starts with: nothing yet, or the "[" of its
// first line's time stamp in UTF-16LE.
bool LooksLikeLog(FileHandle& file) {
    std::uint8_t head[2] = {};
    std::uint32_t got = 0;
    if (!file.Read(head, sizeof head, &got)) return false;
    return got == 0 || (got == 2 && head[0] == '[' && head[1] == 0);
}

// The log of the window program's lines that no run's log takes.
constexpr const char16_t* kUnheardLogName = u"SumvaneW.txt";

// The folder a log named without one goes in: the desktop, else the
// temporary folder, else the top of the file system.
std::u16string LogFolder() {
    std::u16string folder = DesktopFolder();
    if (folder.empty()) TempFolder(folder);
    if (folder.empty()) folder = kRootFolder;
    return folder;
}

// Appends one whole line, prefix and line end included, to that log.
void AppendUnheard(const std::u16string& whole) {
    FileHandle file;
    if (!file.Open(JoinPath(LogFolder(), kUnheardLogName), FileHandle::Mode::AppendLog)) return;
    const std::vector<std::uint8_t> bytes = LittleEndianBytes(whole);
    file.WriteWhole(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::u16string NotALogNotice(const std::u16string& path) {
    return u"the file " + path + u" is not a log; it was left as it is, and this run's log lines follow here.";
}

}  // namespace

struct TesselLogData {
    std::u16string path;                   // as messages name it
    std::u16string folderPath;             // the folder part, as given
    std::u16string name;                   // the file's name in the folder
    std::shared_ptr<const Folder> folder;  // opened once; null until it exists
    bool folderToMake = false;             // not there yet: made at the first line
    bool atLineStart = true;
    bool toStandardError = false;  // the path is not ours to write: every line goes there
    bool created = false;          // this run made the file, which is `identity`, or writes it with another
    FileIdentity identity;
    FileHandle mark;  // held on that file while this run writes it (MarkInUse)
    // The permissions of the earlier log this run removed, which its own
    // log takes: a log made new is for its owner and the folder's group.
    std::optional<FileHandle::Permissions> removedLog;
    bool failed = false;
    bool repeat = false;        // every line also goes to standard error
    std::u16string line;        // the current line so far
    std::mutex writing;         // the file's state: the window program's lines come from any thread
    bool receiving = false;     // those lines come here (ReceiveUnheardLines)
    std::size_t lines = 0;      // completed lines
    std::size_t linesLost = 0;  // completed lines that did not reach the file

    // The log's folder, made when it is missing; once opened it is the one
    // every line goes to, whatever happens to its path afterwards.
    bool HaveFolder() {
        if (folder) return true;
        if (!folderToMake || !CreateFolders(folderPath)) return false;
        folderToMake = false;
        folder = Folder::Open(folderPath);
        return folder != nullptr;
    }

    // Appends one whole line. Its first write creates the file new, so that
    // a file that appeared at the path meanwhile (or a link) is never
    // written; every later one finds the very file this run made, or the
    // line does not go there. A line that does not fit whole (a full disk,
    // a limit on file sizes) is cut off again: the file keeps whole lines
    // only, and a file this line made is not left behind empty.
    bool AppendToFile(const std::u16string& text) {
        if (toStandardError || !HaveFolder()) return false;
        FileHandle file;
        // Another run that started meanwhile made the log: its lines and
        // this run's go into it.
        if (!created && !file.Open(*folder, name, FileHandle::Mode::CreateLog))
            return AddToLiveLog() && AppendToFile(text);
        const bool making = !created;
        if (making) {
            // Marked before its first line: a run starting now adds to it
            // rather than deleting it, and one deleting it just now has it.
            created = file.Identity(&identity) && MarkOurs();
            if (!created) return false;
            // Made 0640 (FileHandle::Mode::CreateLog): the lines name the
            // files of a folder others may not look into.
            if (removedLog) {
                file.GivePermissions(*removedLog);
            } else {
                file.TakeGroupOf(*folder);
            }
        } else {
            FileIdentity found;
            if (!file.Open(*folder, name, FileHandle::Mode::AppendLog) || !file.Identity(&found) || found != identity)
                return false;
        }
        std::uint64_t before = 0;
        if (!file.Size(&before)) return false;
        const std::vector<std::uint8_t> bytes = LittleEndianBytes(text);
        if (file.WriteWhole(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) return file.Close();
        file.Truncate(before);
        file.Close();
        FileIdentity named;
        if (making && folder->IdentityOf(name, &named) && named == identity && folder->Remove(name)) {
            created = false;
            mark.Close();
        }
        return false;
    }

    // The mark on the file this run just made, found at its name. Windows
    // has none (FileHandle::MarkInUse), and a handle held there for the run
    // would keep the file from being deleted, by this run too.
    bool MarkOurs() {
        if (kWindowsBuild) return true;
        FileIdentity marked;
        if (mark.Open(*folder, name, FileHandle::Mode::ReadOldLog) && mark.Identity(&marked) && marked == identity &&
            mark.MarkInUse())
            return true;
        mark.Close();
        return false;
    }

    // The old log `identity` that a viewer holds open, sharing writing,
    // emptied for this run's lines, which then go into it.
    bool EmptyHeldLog(const FileIdentity& oldLog) {
        FileHandle file;
        FileIdentity found;
        if (!file.Open(*folder, name, FileHandle::Mode::RewriteOldLog) || !file.Identity(&found) || found != oldLog ||
            !file.Truncate(0))
            return false;
        identity = found;
        created = true;
        return true;
    }

    // The log at the name, when a live run writes it: this run writes it
    // too, marking it as the other run does.
    bool AddToLiveLog() {
        if (!mark.Open(*folder, name, FileHandle::Mode::ReadOldLog)) return false;
        if (LooksLikeLog(mark) && mark.InUseElsewhere() && mark.MarkInUse() && mark.Identity(&identity)) {
            created = true;
            return true;
        }
        mark.Close();
        return false;
    }

    // The line so far goes out in one write: another program that opens the
    // log between two writes never sees half a line.
    void EndLine() {
        bool reached = false;
        {
            std::lock_guard<std::mutex> lock(writing);
            reached = AppendToFile(line);
        }
        if (!reached) failed = true;
        ++lines;
        if (!reached) ++linesLost;
        if (StandardErrorUnheard()) {
            if (!reached) AppendUnheard(line);
        } else if (!reached || repeat) {
            std::u16string shown = line;
            const bool crlf = shown.size() >= 2 && shown.compare(shown.size() - 2, 2, u"\r\n") == 0;
            if (crlf) shown.resize(shown.size() - 2);
            shown = ShownOnTerminal(shown);
            if (crlf) shown += kConsoleLineEnd;
            WriteErrorText(shown);
        }
        line.clear();
    }
};

std::u16string LogLinePrefix(const TesselDateTime& when) { return u"[" + DateTimeText(when) + u"] "; }

void WriteUnheardLine(const std::u16string& line) { AppendUnheard(LogLinePrefix(LocalDateTime()) + line + u"\r\n"); }

namespace {

// A line the window program would have said on standard error, as a log
// line of its own; kept apart from a line being gathered.
void ReceiveLine(void* context, const std::u16string& line) {
    TesselLogData& d = *static_cast<TesselLogData*>(context);
    const std::u16string whole = LogLinePrefix(LocalDateTime()) + line + u"\r\n";
    bool reached = false;
    {
        std::lock_guard<std::mutex> lock(d.writing);
        reached = d.AppendToFile(whole);
    }
    if (!reached) AppendUnheard(whole);
}

// Where the log goes: `fileName` as given, or that name in LogFolder().
void PlaceLog(TesselLogData& d, const std::u16string& fileName, bool onDesktop) {
    d.path = onDesktop ? JoinPath(LogFolder(), fileName) : fileName;
    d.folderPath = DirectoryOf(d.path);
    d.name = LastName(d.path);
}

// The path is not this log's to write: every line goes to standard error,
// after the notice saying so.
void LeaveToStandardError(TesselLogData& d, const std::u16string& notice) {
    d.toStandardError = true;
    SayOnStandardError(notice);
}

// The file found at the log's name: an earlier log of this program is
// removed (or emptied, where a viewer holds it open), a live run's log is
// written together with that run, and anything else is left as it is.
void TakeOverOldLog(TesselLogData& d) {
    // The name comes from the folder's name, so it may be a user's own file:
    // only an earlier log is removed.
    FileHandle& old = d.mark;
    if (!old.Open(*d.folder, d.name, FileHandle::Mode::ReadOldLog)) {
        // Something that is not a readable file of ours: a link, a folder.
        if (!old.NotFound()) LeaveToStandardError(d, NotALogNotice(d.path));
        return;
    }
    const bool isLog = LooksLikeLog(old);
    // The log of a run still going (one of the same folder started
    // before) is no earlier log: deleting it would take that run's
    // lines away. This run's lines go into it too.
    const bool inUse = isLog && old.InUseElsewhere();
    if (inUse && old.MarkInUse() && old.Identity(&d.identity)) {
        d.created = true;
        return;
    }
    // Otherwise the question left it held for this run while it is
    // removed, so that a run starting meanwhile cannot mark it; on
    // Windows an open handle would keep it from being deleted at all.
    FileIdentity oldIdentity;
    const bool identified = old.Identity(&oldIdentity);
    FileHandle::Permissions permissions;
    if (isLog && old.PermissionsOf(&permissions)) d.removedLog = permissions;
    if (kWindowsBuild) old.Close();
    // On Windows a log that a viewer holds open is not deleted: it would
    // stay until the viewer lets go, keeping its name from this run's
    // log, and then be gone. Emptied, it shows this run's lines instead.
    const bool removed = isLog && !inUse && d.folder->RemoveUnheld(d.name);
    old.Close();
    if (!isLog) {
        LeaveToStandardError(d, NotALogNotice(d.path));
    } else if (!removed && !(identified && d.EmptyHeldLog(oldIdentity))) {
        // Appending this run's lines to it would pass them off as old.
        LeaveToStandardError(d, u"the old log " + d.path + u" could not be removed; this run's log lines follow here.");
    }
}

}  // namespace

TesselLog::TesselLog() : data_(std::make_unique<TesselLogData>()) {}

TesselLog::~TesselLog() {
    if (data_->receiving) ReceiveUnheardLines(nullptr, nullptr);
    // A line left unfinished still reaches the log.
    if (!data_->line.empty()) data_->EndLine();
}

void TesselLog::Open(const std::u16string& fileName, bool onDesktop) {
    TesselLogData& d = *data_;
    // A line begun before keeps going, to the new path.
    d.toStandardError = false;
    d.created = false;
    d.removedLog.reset();
    d.mark.Close();
    d.folder.reset();
    d.folderToMake = false;
    if (fileName.empty()) {
        d.path.clear();
        if (d.receiving) ReceiveUnheardLines(nullptr, nullptr);
        d.receiving = false;
        return;
    }
    // From here on what the window program says comes here.
    if (StandardErrorUnheard() && !d.receiving) {
        ReceiveUnheardLines(&ReceiveLine, &d);
        d.receiving = true;
    }
    PlaceLog(d, fileName, onDesktop);
    FolderProblem problem = FolderProblem::None;
    d.folder = Folder::Open(d.folderPath, &problem);
    d.folderToMake = problem == FolderProblem::NotFound;
    if (d.folder) TakeOverOldLog(d);
}

void TesselLog::RepeatOnStandardError(bool repeat) { data_->repeat = repeat; }

void TesselLog::Write(const std::u16string& text) {
    TesselLogData& d = *data_;
    if (d.path.empty()) return;
    if (d.atLineStart) {
        d.atLineStart = false;
        d.line = LogLinePrefix(LocalDateTime());
    }
    d.line += text;
    if (text.find_first_of(u"\r\n") == std::u16string::npos) return;
    d.atLineStart = true;
    d.EndLine();
}

void TesselLog::Write(const char16_t* text) { Write(std::u16string(text ? text : u"")); }

void TesselLog::WriteLine(const std::u16string& text) {
    Write(text);
    Write(u"\r\n");
}

void TesselLog::WriteLine(const char16_t* text) { WriteLine(std::u16string(text ? text : u"")); }

const std::u16string& TesselLog::path() const { return data_->path; }

bool TesselLog::failed() const { return data_->failed; }

std::size_t TesselLog::lineCount() const { return data_->lines; }

std::size_t TesselLog::lostLineCount() const { return data_->linesLost; }

}  // namespace TesselLibrary
