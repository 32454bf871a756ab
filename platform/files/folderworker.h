#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QObject;

/**
 * @file
 * Asking the file system without being held by it.
 *
 * A share that stops answering (a sleeping NAS, a dropped Wi-Fi share, a hard NFS mount whose
 * server is gone, a stuck FUSE daemon) holds a stat() or a readdir() for minutes or for ever,
 * and a thread held there can be neither cancelled nor joined, nor even killed. So the window
 * never makes such a call itself: ask() hands the query to a thread of the worker, and
 * Reply::await() waits for its answer only while the file system keeps answering, each system
 * call within kCallBound (see callwatch.h), and for kWaitCap at most in all. On a disk that
 * answers, the answer is there before await() returns; otherwise await() gives up, and the
 * answer, whenever it comes, is handed to the receiver's thread from its event loop.
 *
 * Lanes
 * -----
 * Queries run in lanes, one thread each, one query after another. A query gets a lane of its
 * own, so that a folder on a disk that answers is answered at once however many others hang,
 * except when its path lies under a lane that await() has given up on: it then waits in that
 * lane, behind the query that hangs (it would most likely hang too), and await() does not wait
 * for it at all. A lane given up on covers the mount its query's path lies in when that is a
 * network or FUSE mount (as /proc/self/mountinfo, which the kernel answers, tells), and the
 * query's path alone otherwise. A lane skips the queries that are no longer wanted when their
 * turn comes, and its thread ends as soon as it has none left: an idle worker has no thread, no
 * timer and no polling.
 *
 * At most kMaxLanes threads run at once, however many queries are asked: a share that does not
 * answer costs one thread for all its queries, a folder that hangs on another disk (a link into
 * such a share) one for the queries under it. A query that would need a thread beyond that is
 * not run, and its answer never comes, as for a query that hangs.
 *
 * Threads
 * -------
 * A FolderWorker and its replies belong to the thread that makes them (the GUI thread), whose
 * event loop delivers late answers. Queries and their "wanted" tests run on the lanes' threads.
 * No thread is ever joined or waited for at exit: the destructor returns at once, and a lane
 * held in the kernel ends whenever the file system lets it go, touching only the state it
 * shares with the worker (held by shared_ptr), never the worker or the receiver.
 *
 * Callbacks
 * ---------
 * - query: runs on a lane's thread. It may block on the file system, which is what it is for.
 *   It must not touch the GUI, the receiver or anything its asker may destroy; it keeps its
 *   answer in state it shares with the asker. It must not throw: it keeps its error with its
 *   answer. It must not wait for the asker's thread.
 * - wanted: runs on a lane's thread before the query, and on the asker's thread; it must be
 *   quick, thread-safe and must not throw. Once false it must stay false.
 * - later: runs once on the receiver's thread, from its event loop, when the answer comes after
 *   await() gave up, and only while the receiver and the worker still live; not when the query
 *   was skipped as unwanted. A query that stops being wanted while it runs is still answered:
 *   later decides whether the answer counts. It may raise: the error leaves through Qt's event
 *   delivery, so bind it with reportingErrors() (programerror.h).
 *
 * Errors
 * ------
 * ask() raises ProgramError when the system cannot start a thread. Nothing else here raises; a
 * query's own errors are part of its answer.
 */
class FolderWorker {
public:
    /// How long one system call may take before await() gives up on it.
    static constexpr std::chrono::milliseconds kCallBound{40};
    /// How long await() waits for one query in all, however steadily it answers.
    static constexpr std::chrono::milliseconds kWaitCap{1000};
    /// Lane threads at most, stuck or not.
    static constexpr int kMaxLanes = 8;

    class Reply;

    /// Late answers go to @p receiver's thread while this worker lives; the worker must go
    /// before the receiver does (as a member of it, or of one of its children).
    explicit FolderWorker(QObject& receiver);
    /// Returns at once. Answers that come later are dropped.
    ~FolderWorker();
    FolderWorker(const FolderWorker&) = delete;
    FolderWorker& operator=(const FolderWorker&) = delete;

    /// Runs @p query, which reads @p path (a folder or a path in one, relative to the current
    /// directory or absolute), in a lane, if @p wanted still says so when its turn comes.
    Reply ask(const QString& path, std::function<void()> query, std::function<bool()> wanted);

    /// Within a query, on its lane's thread: is its answer still wanted? A query of several
    /// steps may stop early when not; its answer will be dropped. True outside a query.
    static bool stillWanted();

    /// How many lane threads of all workers run now, in this process; any thread. The program's
    /// end looks at it: a lane may be held in the kernel, and its thread must not wake into the
    /// exit's static destructors.
    static int threadsRunning();

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

/// One query asked of a FolderWorker; copies share it.
class FolderWorker::Reply {
public:
    /**
     * True when the query has answered: its answer may be read now, on this thread. Otherwise
     * keeps @p later for when it does, and answers false. Waits while the query's system calls
     * each return within kCallBound, kWaitCap at most in all; does not wait at all for a query
     * queued behind one given up on, or one that is not run. Call it once.
     */
    bool await(std::function<void()> later);

    struct Job;
    struct Lane;

private:
    friend class FolderWorker;
    Reply(std::shared_ptr<Shared> shared, std::shared_ptr<Lane> lane, std::shared_ptr<Job> job, bool behindOneGivenUp);
    Reply() = default;

    void giveUpOnLane();

    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<Lane> m_lane;
    std::shared_ptr<Job> m_job;
    bool m_behindOneGivenUp = false;
};
