#include "folderworker.h"

#include "callwatch.h"
#include "pathcodec.h"
#include "programerror.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

struct FolderWorker::Reply::Job {
    Job(QString path, std::function<void()> query, std::function<bool()> wanted)
        : path(std::move(path))
        , query(std::move(query))
        , wanted(std::move(wanted))
    {
    }

    const QString path;
    const std::function<void()> query;
    const std::function<bool()> wanted;

    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;           // guarded by mutex
    std::function<void()> later; // guarded by mutex
};

struct FolderWorker::Reply::Lane {
    std::atomic<qint64> callStartedNs{0}; // the call under way (callwatch.h), 0 between calls
    // Guarded by Shared::mutex:
    std::deque<std::shared_ptr<Job>> queue;
    bool givenUp = false;
    QStringList reach; // when given up: the path, as components, of what waits in this lane
};

struct FolderWorker::Shared {
    QString currentFolder;

    std::mutex mutex;
    std::vector<std::shared_ptr<Reply::Lane>> lanes; // each has a thread

    std::mutex receiverMutex;
    QObject* receiver = nullptr; // guarded by receiverMutex; cleared when the worker goes
};

namespace {

using Job = FolderWorker::Reply::Job;
using Lane = FolderWorker::Reply::Lane;
using Shared = FolderWorker::Shared;

// The folders a path goes through, as the kernel walks it: made absolute, without empty and "."
// components. ".." stays, so "/share/.." lies under "/share", which it does go through.
QStringList componentsOf(const QString& path, const QString& currentFolder)
{
    QStringList parts = (path.startsWith(u'/') ? path : currentFolder + u'/' + path).split(u'/', Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

bool liesUnder(const QStringList& path, const QStringList& folder)
{
    return path.size() >= folder.size() && std::equal(folder.begin(), folder.end(), path.begin());
}

// A mountinfo field: octal escapes (\040 for a blank) back to bytes.
QByteArray unescaped(const QByteArray& field)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bytes += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            bytes += field[i];
        }
    }
    return bytes;
}

// File systems whose calls wait on a server or a daemon: when one stops answering, every path
// in it does.
bool answersFromAfar(const QByteArray& type)
{
    static const QByteArrayList kTypes{"nfs", "nfs4", "cifs", "smb3", "smbfs", "autofs", "9p", "afs", "ceph", "fuse"};
    return kTypes.contains(type) || type.startsWith("fuse.");
}

// The mount point of the network or FUSE mount that @p path lies in, or {} when it lies in none.
QStringList remoteMountOver(const QStringList& path)
{
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList deepest;
    bool deepestIsRemote = false;
    for (const QByteArray& line : mountInfo.readAll().split('\n')) {
        // "36 35 98:0 /root /mount/point options... - type source options"
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 0 || separator + 1 >= fields.size()) {
            continue;
        }
        const QStringList mountPoint = componentsOf(decodeFileName(unescaped(fields[4])), QString());
        if (liesUnder(path, mountPoint) && mountPoint.size() >= deepest.size()) {
            deepest = mountPoint;
            deepestIsRemote = answersFromAfar(fields[separator + 1]);
        }
    }
    return deepestIsRemote ? deepest : QStringList();
}

std::shared_ptr<Lane> laneGivenUpOver(const Shared& shared, const QString& path)
{
    const auto givenUp = [](const std::shared_ptr<Lane>& lane) { return lane->givenUp; };
    if (std::none_of(shared.lanes.begin(), shared.lanes.end(), givenUp)) {
        return nullptr;
    }
    const QStringList components = componentsOf(path, shared.currentFolder);
    for (const std::shared_ptr<Lane>& lane : shared.lanes) {
        if (lane->givenUp && liesUnder(components, lane->reach)) {
            return lane;
        }
    }
    return nullptr;
}

// Queued queries that nobody wants any more go before they pile up behind one that hangs.
void dropUnwanted(Lane& lane)
{
    lane.queue.erase(std::remove_if(lane.queue.begin(), lane.queue.end(),
                                    [](const std::shared_ptr<Job>& job) { return !job->wanted(); }),
                     lane.queue.end());
}

void post(Shared& shared, std::function<void()> later)
{
    const std::lock_guard lock(shared.receiverMutex);
    if (shared.receiver != nullptr) {
        QMetaObject::invokeMethod(shared.receiver, std::move(later), Qt::QueuedConnection);
    }
}

void finish(Shared& shared, Job& job, bool ran)
{
    std::function<void()> later;
    {
        const std::lock_guard lock(job.mutex);
        job.done = true;
        later = std::move(job.later);
    }
    job.answered.notify_all();
    if (later && ran) {
        post(shared, std::move(later));
    }
}

// Lane threads of every worker that have not ended, for threadsRunning().
std::atomic<int> lanesRunning{0};

// The query that runs on this thread, for stillWanted().
thread_local const Job* runningJob = nullptr;

std::shared_ptr<Job> nextJob(Shared& shared, const std::shared_ptr<Lane>& lane)
{
    const std::lock_guard lock(shared.mutex);
    if (lane->queue.empty()) {
        shared.lanes.erase(std::find(shared.lanes.begin(), shared.lanes.end(), lane));
        return nullptr;
    }
    std::shared_ptr<Job> job = std::move(lane->queue.front());
    lane->queue.pop_front();
    return job;
}

void runLane(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Lane>& lane)
{
    callwatch::watchThisThread(&lane->callStartedNs);
    while (const std::shared_ptr<Job> job = nextJob(*shared, lane)) {
        const bool wanted = job->wanted();
        if (wanted) {
            runningJob = job.get();
            job->query();
            runningJob = nullptr;
        }
        finish(*shared, *job, wanted);
    }
    callwatch::watchThisThread(nullptr);
    lanesRunning.fetch_sub(1);
}

} // namespace

FolderWorker::FolderWorker(QObject& receiver)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->currentFolder = QDir::currentPath();
    m_shared->receiver = &receiver;
}

FolderWorker::~FolderWorker()
{
    const std::lock_guard lock(m_shared->receiverMutex);
    m_shared->receiver = nullptr;
}

FolderWorker::Reply FolderWorker::ask(const QString& path, std::function<void()> query, std::function<bool()> wanted)
{
    auto job = std::make_shared<Job>(path, std::move(query), std::move(wanted));
    std::unique_lock lock(m_shared->mutex);
    if (const std::shared_ptr<Lane> lane = laneGivenUpOver(*m_shared, path)) {
        dropUnwanted(*lane);
        lane->queue.push_back(job);
        return Reply(m_shared, lane, job, true);
    }
    if (int(m_shared->lanes.size()) >= kMaxLanes) {
        return Reply(); // not run: as for a query that hangs
    }
    auto lane = std::make_shared<Lane>();
    lane->queue.push_back(job);
    m_shared->lanes.push_back(lane);
    lanesRunning.fetch_add(1); // before the thread runs, so that the program's end never misses it
    try {
        // Detached: a thread held by the kernel is never joined; it ends when it is let go.
        std::thread([shared = m_shared, lane] { runLane(shared, lane); }).detach();
    } catch (const std::system_error& error) {
        lanesRunning.fetch_sub(1);
        m_shared->lanes.pop_back();
        throw ProgramError(QStringLiteral("%1: cannot start a thread to read it: %2")
                               .arg(displayFileName(path), QString::fromLocal8Bit(error.what())));
    }
    return Reply(m_shared, lane, job, false);
}

bool FolderWorker::stillWanted()
{
    return runningJob == nullptr || runningJob->wanted();
}

int FolderWorker::threadsRunning()
{
    return lanesRunning.load();
}

FolderWorker::Reply::Reply(std::shared_ptr<Shared> shared, std::shared_ptr<Lane> lane, std::shared_ptr<Job> job,
                           bool behindOneGivenUp)
    : m_shared(std::move(shared))
    , m_lane(std::move(lane))
    , m_job(std::move(job))
    , m_behindOneGivenUp(behindOneGivenUp)
{
}

bool FolderWorker::Reply::await(std::function<void()> later)
{
    if (!m_job) {
        return false;
    }
    using std::chrono::nanoseconds;
    const qint64 bound = nanoseconds(kCallBound).count();
    const qint64 start = callwatch::nowNs();
    const qint64 end = start + nanoseconds(kWaitCap).count();
    std::unique_lock lock(m_job->mutex);
    while (!m_job->done && !m_behindOneGivenUp) {
        const qint64 now = callwatch::nowNs();
        const qint64 call = m_lane->callStartedNs.load(std::memory_order_relaxed);
        if (now >= end || (call != 0 && now - call >= bound)) {
            break;
        }
        // Before the query starts and between its calls, look again a bound later.
        const qint64 next = std::min(end, (call != 0 ? call : now) + bound);
        m_job->answered.wait_for(lock, nanoseconds(next - now));
    }
    if (m_job->done) {
        return true;
    }
    m_job->later = std::move(later);
    lock.unlock();
    if (!m_behindOneGivenUp) {
        giveUpOnLane();
    }
    return false;
}

void FolderWorker::Reply::giveUpOnLane()
{
    const QStringList path = componentsOf(m_job->path, m_shared->currentFolder);
    const QStringList mount = remoteMountOver(path);
    const std::lock_guard lock(m_shared->mutex);
    m_lane->reach = mount.isEmpty() ? path : mount;
    m_lane->givenUp = true;
}
