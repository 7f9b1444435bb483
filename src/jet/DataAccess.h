#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Reading Jet (Access) database files. The parsing runs in a separate engine process, so a
// damaged file can cost at most the one request that touched it.
namespace fwb::jet {

// One cell: nothing for NULL; text as stored, numbers as decimal text. Other kinds read as
// mdbtools' mdb-export prints them: dates as "09/21/74 00:00:00", Yes/No as "1" or "0".
using Cell = std::optional<QString>;

struct Table
{
    QStringList columns;
    QList<QList<Cell>> rows;

    int columnIndex(const QString &name) const; // -1 when absent; names compare without case
};

// `column` = `value`, compared the way Jet compares: text without regard to letter case,
// numbers by value. A NULL cell satisfies neither the condition nor its negation, and neither
// does a value that is no number against a number column. Yes/No columns take True/False,
// Yes/No, On/Off or a number (non-zero is true); dates and other kinds compare as read.
struct Condition
{
    QString column;
    QString value;
    bool negated = false;
};

// SELECT columns FROM table WHERE all conditions, in stored row order.
struct Query
{
    QString table;
    QStringList columns; // empty: every column, in table order
    QList<Condition> where;
    int maxRows = -1; // -1: all
};

class EngineProcess;
namespace protocol {
struct Request;
struct Answer;
} // namespace protocol

// Safe to use from any thread: each request runs on an engine of its own, an idle one or one
// started for it, so requests from several threads run side by side and none waits for
// another's. The thread that asks waits for the answer; the window's thread never asks itself.
class DataAccess
{
public:
    DataAccess();
    ~DataAccess();
    DataAccess(const DataAccess &) = delete;
    DataAccess &operator=(const DataAccess &) = delete;

    // The engines, started on first use and kept for the program's life in the program state
    // (program/ProgramState.h).
    static DataAccess &instance();

    // The engine program; by default "fwb-jet-engine" beside the running executable. Takes
    // effect when an engine is next started.
    static void setEnginePath(const QString &path);
    static QString enginePath();

    // How long one request may take, engine start included (5 s by default), for an engine
    // that waits on something: one that computes is ended by its own processor-time limit long
    // before. An engine that has not answered by then is killed.
    void setTimeLimit(std::chrono::milliseconds limit);
    // The largest answer accepted (64 MiB by default). A larger one fails its request.
    void setAnswerLimit(qint64 bytes);
    // Ends the idle engines; the next request starts a fresh one.
    void shutdown();
    // The process id of the engine the next request of this thread would go to, 0 while none
    // is idle.
    qint64 engineProcessId() const;
    // Asks the engine to sit idle (`busy`: to compute) for `milliseconds` before it answers.
    // Only an engine started with FWB_JET_ENGINE_TEST in its environment does so; for tests of
    // hangs, loops and kills.
    bool stall(int milliseconds, bool busy = false);

    // Table names of a database, system tables left out. Nothing on any failure.
    std::optional<QStringList> tables(const QString &file);
    // Nothing on any failure: missing or damaged file, unknown table or column, an engine that
    // crashed, hung or ran out of memory or processor time. The next request works again.
    std::optional<Table> select(const QString &file, const Query &query);
    // Whether the engine answered this thread's last request, even if only to say it failed.
    // False after a crash, a hang or a loop.
    //
    // A request that failed either way fails again at once, without an engine, until its file
    // changes (its size or modification time): a damaged file is asked about once, not at every
    // drive.
    bool lastRequestAnswered() const;

private:
    std::optional<protocol::Answer> ask(protocol::Request request);
    std::unique_ptr<EngineProcess> takeEngine();
    void giveBack(std::unique_ptr<EngineProcess> engine);

    // The file of a failed request as it was then, and the engine that was asked.
    struct FileStamp
    {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        QString engine;
        bool operator==(const FileStamp &) const = default;
    };
    struct Failure
    {
        FileStamp stamp;
        bool answered = false;
    };
    static std::optional<FileStamp> fileStamp(const QString &file, const QString &engine);

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<EngineProcess>> m_idle;
    // By the request as sent, its serial left out: the same question about the same file.
    std::map<QByteArray, Failure> m_failed;
    std::chrono::milliseconds m_timeLimit{5000};
    qint64 m_answerLimit;
    quint32 m_serial = 0;
};

} // namespace fwb::jet
