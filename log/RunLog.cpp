#include "log/RunLog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "config/BackupConfig.h"
#include "log/LogText.h"
#include "platform/Text.h"
#include "platform/Time.h"

// A walk asks for a line or two for every entry.  Making a line (its time
// stamp, its escapes, the file's encoding) and writing it would cost the
// walk nearly a tenth of its time, so the walk only records what each line
// needs: when it was asked for, its format and its arguments.  The log's
// own thread makes the lines and writes them, in the order they came.
//
// A record is a RecordHead, then for a line with a format the format's
// arguments in order (a %s as its bytes and a '\0', a %d as an int), or for
// a line of text that text and a '\0': the format tells where a record
// ends.  Only formats of %s, %d and %% with a few arguments are recorded;
// a line with any other is made by vsnprintf at once and recorded as text.
// A format is kept as the caller's pointer: formats are literals.

short g_bLogOpen = 0;
CStdioFile g_logFile;

namespace {

// Enough for a line naming two paths of the longest kind (PATH_MAX on
// POSIX) and the words around them; a longer line is cut.
const size_t LINE_LIMIT = 8192;

// Room for the time stamp at the head of a line.
const size_t STAMP_ROOM = 32;

// Records gathered before they go to the log's thread, and how many
// gatherings there are: the one the walk fills and those handed over that
// the thread has yet to write.
const size_t HAND_OVER_BYTES = 64 * 1024;
const size_t GATHERINGS = 4;

// The thread is not woken for each gathering: on a virtual machine the
// wake-up of a thread on the other processor cost the walk about 0.1 ms,
// more than the rest of what it does for a gathering.  The thread looks
// for work instead, soon again while there is some and less often while
// there is none, and is woken only when every gathering waits for it or
// the log closes.
const std::chrono::milliseconds FIRST_LOOK(1);
const std::chrono::milliseconds LAST_LOOK(1000);

struct RecordHead {
    time_t time;            // when the line was asked for
    const char* pszFormat;  // nullptr for a line of text
};

// The line being made, with the time stamp of its second at its head: a
// walk writes many lines a second, and formatting local time costs more
// than the rest of a line.  Kept between lines, so that each costs no
// allocation.
LogLine& BeginLine(time_t time)
{
    thread_local char szLine[STAMP_ROOM + LINE_LIMIT];
    thread_local LogLine line = {szLine, 0, 0, 0};
    thread_local time_t lastSecond = -1;
    if (time != lastSecond) {
        lastSecond = time;
        const std::string stamp = CTime(time).Format("%Y/%m/%d %H:%M:%S  ");
        line.nCutFrom = CopyTextCut(szLine, STAMP_ROOM, stamp.c_str(), stamp.size());
        // The line end after the room is one more byte.
        line.nRoom = line.nCutFrom + LINE_LIMIT - 1;
    }
    line.nLength = line.nCutFrom;
    return line;
}

// What a format asks for, found once for each format: the walk's few
// formats are each used thousands of times.  The format is cut at its
// conversions: text piece i comes before conversion i, and the last piece
// after the last conversion.
struct FormatPlan {
    struct Text {
        uint32_t nAt;
        uint32_t nLength;
    };

    const char* pszFormat;
    bool bRecorded;         // only %s, %d and %%, and no more of them than room
    char conversions[12];   // 's', 'd' or '%'
    size_t nConversions;
    Text texts[13];
};

const FormatPlan& PlanOf(const char* pszFormat)
{
    thread_local FormatPlan plans[64] = {};
    FormatPlan& plan = plans[(reinterpret_cast<uintptr_t>(pszFormat) >> 4) % 64];
    if (plan.pszFormat == pszFormat)
        return plan;
    plan.pszFormat = pszFormat;
    plan.bRecorded = true;
    plan.nConversions = 0;
    const char* pText = pszFormat;
    for (const char* p = strchr(pszFormat, '%'); p != nullptr && plan.bRecorded; p = strchr(p + 2, '%')) {
        plan.bRecorded = (p[1] == 's' || p[1] == 'd' || p[1] == '%') && plan.nConversions < sizeof plan.conversions;
        if (!plan.bRecorded)
            break;
        plan.texts[plan.nConversions] = {static_cast<uint32_t>(pText - pszFormat), static_cast<uint32_t>(p - pText)};
        plan.conversions[plan.nConversions++] = p[1];
        pText = p + 2;
    }
    plan.texts[plan.nConversions] = {static_cast<uint32_t>(pText - pszFormat), static_cast<uint32_t>(strlen(pText))};
    return plan;
}

// Makes the line a record asks for; nSize is set to the record's size.
const LogLine& MakeLine(const char* pRecord, size_t& nSize)
{
    RecordHead head;
    memcpy(&head, pRecord, sizeof head);
    const char* pArgument = pRecord + sizeof head;
    LogLine& line = BeginLine(head.time);
    if (head.pszFormat == nullptr) {
        const size_t nLength = strlen(pArgument);
        AppendForDisplay(line, pArgument, nLength);
        pArgument += nLength + 1;
    } else {
        // Only a format with a plan of its own is recorded.
        const FormatPlan& plan = PlanOf(head.pszFormat);
        for (size_t i = 0;; i++) {
            AppendProgramText(line, head.pszFormat + plan.texts[i].nAt, plan.texts[i].nLength);
            if (i == plan.nConversions)
                break;
            if (plan.conversions[i] == 's') {
                const size_t nLength = strlen(pArgument);
                AppendForDisplay(line, pArgument, nLength);
                pArgument += nLength + 1;
            } else if (plan.conversions[i] == 'd') {
                int nValue;
                memcpy(&nValue, pArgument, sizeof nValue);
                pArgument += sizeof nValue;
                const std::string digits = std::to_string(nValue);
                AppendProgramText(line, digits.data(), digits.size());
            } else {
                AppendProgramText(line, "%", 1);
            }
        }
    }
    EndLogLine(line);
    nSize = static_cast<size_t>(pArgument - pRecord);
    return line;
}

// Records in the worker's memory, written through a cursor: the walk
// records tens of thousands of lines, each a few small copies.
struct Gathering {
    // Where nMore bytes go after those gathered; Add() counts them in.
    char* Room(size_t nMore)
    {
        if (bytes.size() - nSize < nMore)
            bytes.resize(std::max({HAND_OVER_BYTES + LINE_LIMIT, 2 * bytes.size(), nSize + nMore}));
        return bytes.data() + nSize;
    }
    void Add(size_t nMore) { nSize += nMore; }

    std::vector<char> bytes;
    size_t nSize = 0;
};

// Makes and writes the lines of the records; false when one could not be
// written (no line after it is).
bool WriteRecords(const Gathering& records)
{
    for (size_t nAt = 0; nAt < records.nSize;) {
        size_t nSize = 0;
        const LogLine& line = MakeLine(records.bytes.data() + nAt, nSize);
        if (!g_logFile.WriteString(line.pszText, line.nLength))
            return false;
        nAt += nSize;
    }
    return true;
}

// The records of the open log, and the thread that makes their lines.  The
// gatherings are used in turn: the worker fills the one after the last it
// handed over, the thread writes them in the order they were handed over.
struct Recorder {
    // Starts the thread; without one the lines are made and written as the
    // records are handed over.
    void Start()
    {
        try {
            writer = std::thread([this] { WriteHandedOver(); });
        } catch (const std::system_error&) {
        }
    }

    // The gathering the worker fills.
    Gathering& Gathered() { return gatherings[nHandedOver % GATHERINGS]; }

    // Gives the gathered records to the thread and waits, if need be, until
    // the next gathering is written; false when a line could not be written.
    bool HandOver()
    {
        if (!writer.joinable()) {
            bFailed = bFailed || !WriteRecords(Gathered());
            Gathered().nSize = 0;
            return !bFailed;
        }
        std::unique_lock<std::mutex> lock(mutex);
        if (bFailed)
            return false;
        nHandedOver++;
        if (nHandedOver - nWritten == GATHERINGS) {
            handedOver.notify_one();
            written.wait(lock, [this] { return nHandedOver - nWritten < GATHERINGS || bFailed; });
        }
        Gathered().nSize = 0;
        return !bFailed;
    }

    // Makes and writes what is handed over until told to stop.
    void WriteHandedOver()
    {
        std::unique_lock<std::mutex> lock(mutex);
        std::chrono::milliseconds nextLook = FIRST_LOOK;
        for (;;) {
            if (nWritten == nHandedOver) {
                if (bStop)
                    return;
                handedOver.wait_for(lock, nextLook);
                nextLook = std::min(2 * nextLook, LAST_LOOK);
                continue;
            }
            nextLook = FIRST_LOOK;
            const Gathering& records = gatherings[nWritten % GATHERINGS];
            lock.unlock();
            // Only this thread sets bFailed while it runs.
            const bool bWritten = bFailed || WriteRecords(records);
            lock.lock();
            bFailed = bFailed || !bWritten;
            nWritten++;
            written.notify_one();
        }
    }

    // Hands over the rest and waits until the thread has written it: the
    // thread stops only with nothing handed over.  False when some line
    // could not be written.
    bool Finish()
    {
        if (Gathered().nSize != 0)
            HandOver();
        if (writer.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                bStop = true;
            }
            handedOver.notify_one();
            writer.join();
        }
        const bool bWritten = !bFailed;
        for (Gathering& gathering : gatherings)
            gathering.nSize = 0;
        nHandedOver = nWritten = 0;
        bStop = bFailed = false;
        return bWritten;
    }

    // A run closes its log; a thread still running here would end the
    // program.
    ~Recorder() { Finish(); }

    Gathering gatherings[GATHERINGS];
    size_t nHandedOver = 0;  // counts: the worker's gathering is
    size_t nWritten = 0;     // gatherings[nHandedOver % GATHERINGS]
    std::mutex mutex;
    std::condition_variable handedOver;
    std::condition_variable written;
    bool bStop = false;
    bool bFailed = false;
    std::thread writer;
};

Recorder s_recorder;

// A line of this run's log could not be written.  Worker thread only.
bool s_bLineLost = false;

// Bytes a record copies: an argument, or the text of a line.
struct Piece {
    const void* p;
    size_t n;
};

// Hands the records over when enough have gathered.  A log that cannot be
// written any more (a full disk) is given up; the backup itself goes on.
void EndRecord()
{
    if (s_recorder.Gathered().nSize >= HAND_OVER_BYTES && !s_recorder.HandOver()) {
        s_recorder.Finish();
        g_logFile.Close();
        g_bLogOpen = 0;
        s_bLineLost = true;
    }
}

// Records a line asked for now, its pieces after its head.
void Record(const char* pszFormat, const Piece* pPieces, size_t nPieces)
{
    const RecordHead head = {CTime::GetCurrentTime().GetTime(), pszFormat};
    size_t nSize = sizeof head;
    for (size_t i = 0; i < nPieces; i++)
        nSize += pPieces[i].n;
    Gathering& records = s_recorder.Gathered();
    char* pAt = records.Room(nSize);
    memcpy(pAt, &head, sizeof head);
    pAt += sizeof head;
    for (size_t i = 0; i < nPieces; i++) {
        memcpy(pAt, pPieces[i].p, pPieces[i].n);
        pAt += pPieces[i].n;
    }
    records.Add(nSize);
    EndRecord();
}

// Records a line of text.
void RecordText(const char* pszText)
{
    const Piece text = {pszText, strlen(pszText) + 1};
    Record(nullptr, &text, 1);
}

}  // namespace

BOOL OpenRunLog(const char* pszFileName, std::string& why)
{
    CloseRunLog();
    s_bLineLost = false;
    g_bLogOpen = g_logFile.Open(pszFileName, CStdioFile::modeCreate | CStdioFile::modeWrite, why) ? 1 : 0;
    if (g_bLogOpen == 1)
        s_recorder.Start();
    return g_bLogOpen;
}

BOOL CloseRunLog()
{
    if (g_bLogOpen == 1) {
        if (!s_recorder.Finish())
            s_bLineLost = true;
        if (!g_logFile.Close())
            s_bLineLost = true;
    }
    g_bLogOpen = 0;
    const bool bLost = s_bLineLost;
    s_bLineLost = false;
    return bLost ? FALSE : TRUE;
}

BOOL IsLogWritten(short nKind)
{
    // The filter is read on every call: the settings are the only place it lives.
    return g_bLogOpen == 1 &&
           (nKind == LOG_RESULT || g_pConfig == nullptr || g_pConfig->m_bLogResultsOnly == 0);
}

void WriteLog(short nKind, const char* pszText)
{
    if (IsLogWritten(nKind))
        RecordText(pszText);
}

void WriteLogDetail(const char* pszText)
{
    WriteLog(LOG_DETAIL, pszText);
}

BOOL WriteLogFormat(short nKind, const char* pszFormat, ...)
{
    // A walk formats a line or two for every entry: none when it would be
    // dropped.
    if (!IsLogWritten(nKind))
        return TRUE;
    const FormatPlan& plan = PlanOf(pszFormat);
    va_list args;
    va_start(args, pszFormat);
    if (plan.bRecorded) {
        Piece pieces[sizeof plan.conversions];
        int values[sizeof plan.conversions];
        size_t nPieces = 0;
        for (size_t i = 0; i < plan.nConversions; i++) {
            const char cKind = plan.conversions[i];
            if (cKind == '%')
                continue;
            if (cKind == 's') {
                const char* pszArgument = va_arg(args, const char*);
                if (pszArgument == nullptr)
                    pszArgument = "(null)";
                pieces[nPieces] = {pszArgument, strlen(pszArgument) + 1};
            } else {
                values[nPieces] = va_arg(args, int);
                pieces[nPieces] = {&values[nPieces], sizeof values[nPieces]};
            }
            nPieces++;
        }
        va_end(args);
        Record(pszFormat, pieces, nPieces);
        return TRUE;
    }
    va_list kept;
    va_copy(kept, args);
    const int nLength = vsnprintf(nullptr, 0, pszFormat, args);
    va_end(args);
    if (nLength < 0) {
        va_end(kept);
        return FALSE;
    }
    std::string text(static_cast<size_t>(nLength) + 1, '\0');
    vsnprintf(&text[0], text.size(), pszFormat, kept);
    va_end(kept);
    RecordText(text.c_str());
    return TRUE;
}
