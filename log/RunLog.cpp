#include "log/RunLog.h"

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

// Records gathered before they go to the log's thread.
const size_t HAND_OVER_BYTES = 64 * 1024;

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

// Makes the line a record asks for; nSize is set to the record's size.
const LogLine& MakeLine(const char* pRecord, size_t& nSize)
{
    RecordHead head;
    memcpy(&head, pRecord, sizeof head);
    const char* pArgument = pRecord + sizeof head;
    LogLine& line = BeginLine(head.time);
    if (head.pszFormat == nullptr) {
        AppendForDisplay(line, pArgument);
        pArgument += strlen(pArgument) + 1;
    } else {
        for (const char* p = head.pszFormat;;) {
            const char* pSpec = strchr(p, '%');
            if (pSpec == nullptr) {
                AppendProgramText(line, p, strlen(p));
                break;
            }
            AppendProgramText(line, p, static_cast<size_t>(pSpec - p));
            if (pSpec[1] == 's') {
                AppendForDisplay(line, pArgument);
                pArgument += strlen(pArgument) + 1;
            } else if (pSpec[1] == 'd') {
                int nValue;
                memcpy(&nValue, pArgument, sizeof nValue);
                pArgument += sizeof nValue;
                const std::string digits = std::to_string(nValue);
                AppendProgramText(line, digits.data(), digits.size());
            } else {
                AppendProgramText(line, "%", 1);
            }
            p = pSpec + 2;
        }
    }
    EndLogLine(line);
    nSize = static_cast<size_t>(pArgument - pRecord);
    return line;
}

// Makes and writes the lines of the records; false when one could not be
// written (no line after it is).
bool WriteRecords(const std::string& records)
{
    for (size_t nAt = 0; nAt < records.size();) {
        size_t nSize = 0;
        const LogLine& line = MakeLine(records.data() + nAt, nSize);
        if (!g_logFile.WriteString(line.pszText, line.nLength))
            return false;
        nAt += nSize;
    }
    return true;
}

// The records of the open log, and the thread that makes their lines.
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

    // Gives the gathered records to the thread once it is done with the
    // last; false when a line could not be written.
    bool HandOver()
    {
        if (!writer.joinable()) {
            bFailed = bFailed || !WriteRecords(gathered);
            gathered.clear();
            return !bFailed;
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !bHandedOver; });
        if (bFailed)
            return false;
        handedOver.swap(gathered);
        gathered.clear();
        bHandedOver = true;
        changed.notify_all();
        return true;
    }

    // Makes and writes what is handed over until told to stop.
    void WriteHandedOver()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return bHandedOver || bStop; });
            if (!bHandedOver)
                return;
            lock.unlock();
            const bool bWritten = bFailed || WriteRecords(handedOver);
            lock.lock();
            bFailed = bFailed || !bWritten;
            bHandedOver = false;
            changed.notify_all();
        }
    }

    // Hands over the rest and waits until the thread has written it: the
    // thread stops only with nothing handed over.  False when some line
    // could not be written.
    bool Finish()
    {
        if (!gathered.empty())
            HandOver();
        if (writer.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                bStop = true;
            }
            changed.notify_all();
            writer.join();
        }
        const bool bWritten = !bFailed;
        gathered.clear();
        handedOver.clear();
        bHandedOver = bStop = bFailed = false;
        return bWritten;
    }

    // A run closes its log; a thread still running here would end the
    // program.
    ~Recorder() { Finish(); }

    std::string gathered;    // the worker's, until handed over
    std::string handedOver;  // the thread's while bHandedOver
    std::mutex mutex;
    std::condition_variable changed;
    bool bHandedOver = false;
    bool bStop = false;
    bool bFailed = false;
    std::thread writer;
};

Recorder s_recorder;

// A line of this run's log could not be written.  Worker thread only.
bool s_bLineLost = false;

// Starts a record for a line asked for now.
void BeginRecord(const char* pszFormat)
{
    const RecordHead head = {CTime::GetCurrentTime().GetTime(), pszFormat};
    s_recorder.gathered.append(reinterpret_cast<const char*>(&head), sizeof head);
}

// Hands the records over when enough have gathered.  A log that cannot be
// written any more (a full disk) is given up; the backup itself goes on.
void EndRecord()
{
    if (s_recorder.gathered.size() >= HAND_OVER_BYTES && !s_recorder.HandOver()) {
        s_recorder.Finish();
        g_logFile.Close();
        g_bLogOpen = 0;
        s_bLineLost = true;
    }
}

// What a format asks of its arguments, in order ('s' or 'd'), found once
// for each format: the walk's few formats are each used thousands of times.
struct FormatPlan {
    const char* pszFormat;
    char szArguments[8];
    bool bRecorded;  // only %s, %d and %%, and no more arguments than room
};

const FormatPlan& PlanOf(const char* pszFormat)
{
    thread_local FormatPlan plans[64] = {};
    FormatPlan& plan = plans[(reinterpret_cast<uintptr_t>(pszFormat) >> 4) % 64];
    if (plan.pszFormat == pszFormat)
        return plan;
    plan.pszFormat = pszFormat;
    plan.bRecorded = true;
    size_t nArguments = 0;
    for (const char* p = strchr(pszFormat, '%'); p != nullptr && plan.bRecorded; p = strchr(p + 2, '%')) {
        if (p[1] == 's' || p[1] == 'd')
            plan.bRecorded = nArguments + 1 < sizeof plan.szArguments;
        else
            plan.bRecorded = p[1] == '%';
        if (plan.bRecorded && p[1] != '%')
            plan.szArguments[nArguments++] = p[1];
    }
    plan.szArguments[nArguments] = '\0';
    return plan;
}

// Records a line of text.
void RecordText(const char* pszText)
{
    BeginRecord(nullptr);
    s_recorder.gathered.append(pszText, strlen(pszText) + 1);
    EndRecord();
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
        std::string& records = s_recorder.gathered;
        BeginRecord(pszFormat);
        for (const char* pKind = plan.szArguments; *pKind != '\0'; pKind++) {
            if (*pKind == 's') {
                const char* pszArgument = va_arg(args, const char*);
                if (pszArgument == nullptr)
                    pszArgument = "(null)";
                records.append(pszArgument, strlen(pszArgument) + 1);
            } else {
                const int nValue = va_arg(args, int);
                records.append(reinterpret_cast<const char*>(&nValue), sizeof nValue);
            }
        }
        va_end(args);
        EndRecord();
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
