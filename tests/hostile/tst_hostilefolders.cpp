// Hostile folder texts pasted or typed into the real window: the window stays responsive, the list
// follows only real folders, and an error reaches the application's report once, only where a
// folder cannot be read, with the window usable afterwards. Shares that answer slowly or not at
// all hold no keystroke, and an answer that comes too late plays nothing.
#include "fakeplayer.h"
#include "filelistbox.h"
#include "hostilesupport.h"
#include "stalledshare.h"
#include "startup.h"
#include "testfolder.h"
#include "unprivileged.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Hostile;

class TestHostileFolders : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void pastedText_data();
    void pastedText();
    void typedLongTextStaysResponsive();
    void folderDeletedWhileShown();
    void refreshAfterFilesRemoved();
    void foldersWithoutPermission();
    void unprivileged();
    void slowShareHoldsNoKeystroke();
    void lateLookupPlaysOnlyIfStillWanted_data();
    void lateLookupPlaysOnlyIfStillWanted();

private:
    FakePlayer& player() const { return *static_cast<FakePlayer*>(m_form->windowsMediaPlayer1()); }
    QString root() const { return m_tree->path(); }
    void checkStillUsable();

    std::unique_ptr<TestFolder> m_tree;
    std::unique_ptr<Form1> m_form;
};

void TestHostileFolders::initTestCase()
{
    m_tree = std::make_unique<TestFolder>();
    m_tree->addFolder("media");
    m_tree->addFile("media/song.mp3");
    m_tree->addFolder("d\xff\xfe");
    m_tree->addFile("d\xff\xfe/inside.mp3");
    m_tree->addFolder("tab\tesc\x1b"
                      "bell\x07");
    m_tree->addFile("tab\tesc\x1b"
                    "bell\x07/ctl.mp3");
    m_tree->addLink("loop", "loop");
    m_tree->addLink("loopA", "loopB");
    m_tree->addLink("loopB", "loopA");
    m_tree->addLink("medialink", "media");
}

void TestHostileFolders::cleanupTestCase()
{
    // QTemporaryDir cannot remove names that are not UTF-8; these go by their bytes.
    for (const QByteArray& folder : {QByteArray("d\xff\xfe"), QByteArray("tab\tesc\x1b"
                                                                         "bell\x07")}) {
        const QByteArray path = m_tree->pathBytes() + '/' + folder;
        QDir(QString::fromLocal8Bit(path)).removeRecursively();
        for (const char* file : {"/inside.mp3", "/ctl.mp3"}) {
            unlink((path + file).constData());
        }
        rmdir(path.constData());
    }
    m_tree.reset();
}

void TestHostileFolders::init()
{
    m_form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    paste(*m_form, root() + "/media");
    QCOMPARE(m_form->file1()->path(), root() + "/media");
    player().clearCalls();
}

void TestHostileFolders::cleanup()
{
    m_form.reset();
}

// After whatever went before, a good folder is followed and its file plays.
void TestHostileFolders::checkStillUsable()
{
    paste(*m_form, root() + "/media");
    QCOMPARE(m_form->file1()->path(), root() + "/media");
    QVERIFY(select(*m_form, "song.mp3"));
    player().clearCalls();
    pressEnter(*m_form);
    QCOMPARE(player().calls(), QStringList({"setUrl " + root() + "/media/song.mp3", "play"}));
}

void TestHostileFolders::pastedText_data()
{
    QTest::addColumn<QString>("text");      // relative to the tree when it does not start with "/"
    QTest::addColumn<QString>("followsTo"); // the folder the list then shows; "" = it stays
    QTest::addColumn<int>("plays");         // Enter on the first row: 1 plays, 0 does not, -1 either

    const QString here = QStringLiteral("%1");
    QTest::newRow("100,000 letters") << QString(100000, u'a') << "" << 0;
    QTest::newRow("100,000 separators") << QString(100000, u'/') << "" << 0;
    QTest::newRow("existing folder, then 100,000 letters") << here + "/media/" + QString(100000, u'x') << "" << 0;
    QTest::newRow("invalid UTF-8 naming a folder")
        << here + "/d" + QChar(0xDCFF) + QChar(0xDCFE) << here + "/d" + QChar(0xDCFF) + QChar(0xDCFE) << 1;
    QTest::newRow("invalid UTF-8 naming nothing") << here + "/" + QChar(0xDC80) << "" << 0;
    QTest::newRow("control characters naming a folder") << here + "/tab\tesc\x1b"
                                                                  "bell\x07"
                                                        << here + "/tab\tesc\x1b"
                                                                  "bell\x07"
                                                        << 1;
    QTest::newRow("control characters naming nothing") << QStringLiteral("\x01\x02\x7f\x1b[2J") << "" << 0;
    QTest::newRow("NUL inside") << here + "/media" + QChar(0) + "x"
                                << "" << 0;
    QTest::newRow("..") << here + "/media/.." << here + "/media/.." << -1;
    QTest::newRow("// inside") << here + "//media" << here + "//media" << 1;
    QTest::newRow("trailing /") << here + "/media/" << here + "/media/" << 1;
    QTest::newRow("trailing //") << here + "/media//" << here + "/media//" << 1;
    QTest::newRow("link loop") << here + "/loop"
                               << "" << 0;
    QTest::newRow("link loop of two") << here + "/loopA/x"
                                      << "" << 0;
    QTest::newRow("link to a folder") << here + "/medialink" << here + "/medialink" << 1;
    QTest::newRow("/proc") << "/proc"
                           << "/proc" << -1;
    QTest::newRow("/proc/self/fd") << "/proc/self/fd"
                                   << "/proc/self/fd" << -1;
    QTest::newRow("/dev") << "/dev"
                          << "/dev" << 0;
    QTest::newRow("/sys") << "/sys"
                          << "/sys" << -1;
    QTest::newRow("empty") << ""
                           << "" << 0;
}

void TestHostileFolders::pastedText()
{
    QFETCH(QString, text);
    QFETCH(QString, followsTo);
    QFETCH(int, plays);
    text.replace(QStringLiteral("%1"), root());
    followsTo.replace(QStringLiteral("%1"), root());
    const ReportSpy reports;

    paste(*m_form, text);
    QCOMPARE(m_form->file1()->path(), followsTo.isEmpty() ? root() + "/media" : followsTo);
    selectFirst(*m_form);
    const QString chosen = m_form->file1()->fileName();
    pressEnter(*m_form);
    const bool played = !player().calls().isEmpty();
    if (plays >= 0) {
        QCOMPARE(played, plays == 1);
    }
    if (played) {
        QCOMPARE(player().calls().first(), "setUrl " + m_form->text1()->text() + '/' + chosen);
    } else {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
    }
    QCOMPARE(reports.messages(), QStringList());
    checkStillUsable();
}

void TestHostileFolders::typedLongTextStaysResponsive()
{
    // Each keystroke asks the file system once; thousands of them must not pile up into a
    // keystroke that keeps the window busy (10 s: a hang, even sanitized on a busy machine).
    const ReportSpy reports;
    m_form->text1()->setFocus();
    QElapsedTimer total;
    total.start();
    qint64 slowest = 0;
    for (const QChar typed : QString(5000, u'/') + QString(5000, u'z')) {
        QElapsedTimer keystroke;
        keystroke.start();
        QTest::keyClick(m_form->text1(), typed.toLatin1());
        slowest = std::max(slowest, keystroke.elapsed());
    }
    qInfo("10,000 typed characters took %lld ms, the slowest %lld ms", total.elapsed(), slowest);
    QVERIFY(slowest < 10000);
    // "media/////..." names the folder until the text is too long to look up; then the list stays.
    QVERIFY(m_form->file1()->path().startsWith(root() + "/media/"));
    QVERIFY(m_form->file1()->path().size() < m_form->text1()->text().size());
    QCOMPARE(reports.count(), 0);
    checkStillUsable();
}

void TestHostileFolders::folderDeletedWhileShown()
{
    TestFolder doomed;
    doomed.addFile("gone.mp3");
    paste(*m_form, doomed.path());
    QVERIFY(select(*m_form, "gone.mp3"));
    const ReportSpy reports;
    QVERIFY(QDir(doomed.path()).removeRecursively());

    pressEnter(*m_form); // not found, and the refresh cannot read the folder any more
    QCOMPARE(reports.count(), 1);
    QVERIFY2(reports.messages().first().contains(doomed.path()), qPrintable(reports.messages().first()));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
    QCOMPARE(player().calls(), QStringList());

    // Typing on in the box is no error: a missing folder is simply not followed.
    QTest::keyClicks(m_form->text1(), "/x");
    QCOMPARE(reports.count(), 1);
    checkStillUsable();
    QCOMPARE(reports.count(), 1);
}

void TestHostileFolders::refreshAfterFilesRemoved()
{
    TestFolder folder;
    folder.addFile("a.mp3");
    folder.addFile("b.mp3");
    paste(*m_form, folder.path());
    QVERIFY(select(*m_form, "a.mp3"));
    folder.remove("a.mp3");
    folder.remove("b.mp3");
    const ReportSpy reports;

    pressEnter(*m_form);
    QCOMPARE(m_form->file1()->model()->rowCount(), 0);
    QCOMPARE(m_form->file1()->fileName(), QString());
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
    pressEnter(*m_form); // nothing selected, nothing there: still no error
    QCOMPARE(reports.count(), 0);
    QCOMPARE(player().calls(), QStringList());
    checkStillUsable();
}

void TestHostileFolders::foldersWithoutPermission()
{
    runUnprivileged("unprivileged", [this] { unprivileged(); });
}

void TestHostileFolders::unprivileged()
{
    if (geteuid() == 0) {
        QSKIP("runs as an ordinary user only: foldersWithoutPermission starts it so");
    }
    TestFolder folder;
    QVERIFY(chmod(folder.pathBytes().constData(), 0755) == 0);
    folder.addFolder("noread");
    folder.addFile("noread/song.mp3");
    folder.addFolder("nosearch");
    folder.addFile("nosearch/song.mp3");
    folder.addFolder("none");
    QVERIFY(chmod((folder.pathBytes() + "/noread").constData(), 0311) == 0);
    QVERIFY(chmod((folder.pathBytes() + "/nosearch").constData(), 0644) == 0);
    QVERIFY(chmod((folder.pathBytes() + "/none").constData(), 0) == 0);
    const ReportSpy reports;

    // A folder that cannot be listed: reported once, the list stays, its files can still be named.
    paste(*m_form, folder.path() + "/noread");
    QCOMPARE(reports.count(), 1);
    QCOMPARE(m_form->file1()->path(), root() + "/media");
    QVERIFY(select(*m_form, "song.mp3"));
    pressEnter(*m_form);
    QCOMPARE(player().calls(), QStringList({"setUrl " + folder.path() + "/noread/song.mp3", "play"}));
    QCOMPARE(reports.count(), 1);

    // A folder that lists but cannot be searched: the list follows; playing from it is reported.
    paste(*m_form, folder.path() + "/nosearch");
    QCOMPARE(m_form->file1()->path(), folder.path() + "/nosearch");
    QCOMPARE(reports.count(), 1);
    player().clearCalls();
    QVERIFY(select(*m_form, "song.mp3"));
    pressEnter(*m_form);
    QCOMPARE(reports.count(), 2);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
    QCOMPARE(player().calls(), QStringList());

    // No permission at all: the folder exists, so following it fails once.
    paste(*m_form, folder.path() + "/none");
    QCOMPARE(reports.count(), 3);
    paste(*m_form, folder.path() + "/none/deeper"); // cannot even be looked up: not a folder
    QCOMPARE(reports.count(), 3);

    checkStillUsable();
    QCOMPARE(reports.count(), 3);
    for (const QByteArray name : {"noread", "nosearch", "none"}) {
        chmod((folder.pathBytes() + '/' + name).constData(), 0755);
    }
}

void TestHostileFolders::slowShareHoldsNoKeystroke()
{
    StalledShare share;
    QVERIFY(QDir().mkpath(share.backing() + "/slow/sub"));
    QVERIFY2(share.mount({"--slow", "slow=1000"}), qPrintable(share.failure()));
    paste(*m_form, share.path()); // its top answers at once
    QCOMPARE(m_form->file1()->path(), share.path());
    qint64 slowest = 0;
    for (const QChar typed : QStringLiteral("/slow/sub")) {
        QElapsedTimer keystroke;
        keystroke.start();
        QTest::keyClick(m_form->text1(), typed.toLatin1());
        slowest = std::max(slowest, keystroke.elapsed());
    }
    qInfo("the slowest keystroke into a share answering after 1 s took %lld ms", slowest);
    QVERIFY(slowest < 100);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->file1()->path(), share.path() + "/slow/sub", 60000);
}

void TestHostileFolders::lateLookupPlaysOnlyIfStillWanted_data()
{
    QTest::addColumn<QString>("meanwhile"); // the input while the share holds the lookup
    QTest::addColumn<bool>("loading");      // the caption still reads "Loading" after it
    QTest::newRow("nothing: the held file plays") << QString() << true;
    QTest::newRow("a newer choice") << "choose" << true;
    QTest::newRow("Space") << "space" << false;
    QTest::newRow("a folder edit") << "edit" << false;
}

void TestHostileFolders::lateLookupPlaysOnlyIfStillWanted()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, loading);
    StalledShare share;
    QVERIFY(QDir().mkpath(share.backing() + "/dead"));
    for (const char* name : {"/dead/far.mp3", "/dead/near.mp3"}) {
        QVERIFY(QFile(share.backing() + name).open(QIODevice::WriteOnly));
    }
    QVERIFY2(share.mount({"--hang", "dead"}), qPrintable(share.failure()));
    share.release();
    paste(*m_form, share.path() + "/dead");
    QVERIFY(select(*m_form, "far.mp3"));
    share.shut();
    pressEnter(*m_form);
    if (meanwhile == "space") {
        QTest::keyClick(m_form->file1(), Qt::Key_Space);
    } else if (meanwhile == "edit") {
        QTest::keyClick(m_form->text1(), 'x');
        QTest::keyClick(m_form->text1(), Qt::Key_Backspace);
    }
    QCOMPARE(m_form->windowTitle(), loading ? QStringLiteral("Loading") : QStringLiteral("Marrowlark"));
    // A newer choice, made now or once the share answers, waits behind the held lookup.
    QVERIFY(meanwhile.isEmpty() || select(*m_form, "near.mp3"));
    if (meanwhile == "choose") {
        pressEnter(*m_form);
    }
    share.release();
    if (!loading) {
        pressEnter(*m_form);
    }
    const QString file = share.path() + (meanwhile.isEmpty() ? "/dead/far.mp3" : "/dead/near.mp3");
    const QStringList played{"setUrl " + file, "play"};
    QTRY_COMPARE_WITH_TIMEOUT(player().calls(), played, 30000);
    QCoreApplication::processEvents(); // a stale answer still queued would be applied now
    QCOMPARE(player().calls(), played);
}

MARROWLARK_HOSTILE_MAIN(TestHostileFolders)
#include "tst_hostilefolders.moc"
