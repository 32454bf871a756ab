// What the confinement allows: the Landlock rights for every ABI a kernel may offer, and when
// the sound client keeps its network sockets.

#include "confinementrules.h"

#include <linux/landlock.h>

#include <QtTest>

namespace {

constexpr quint64 kWrite = LANDLOCK_ACCESS_FS_WRITE_FILE;
constexpr quint64 kTruncate = 1ULL << 14, kDeviceIoctls = 1ULL << 15; // newer than Debian 12's headers
constexpr quint64 kAbi1 = 0x1ff2; // writing, removing, making anything: all but executing and reading
constexpr quint64 kAbi2 = kAbi1 | LANDLOCK_ACCESS_FS_REFER;
constexpr quint64 kReading =
    LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_EXECUTE | kDeviceIoctls;

} // namespace

class TestConfinementRules : public QObject {
    Q_OBJECT

private slots:
    void landlockRightsPerAbi_data();
    void landlockRightsPerAbi();
    void soundServerOnTheNetwork_data();
    void soundServerOnTheNetwork();
};

void TestConfinementRules::landlockRightsPerAbi_data()
{
    QTest::addColumn<int>("abi");
    QTest::addColumn<quint64>("handled");
    QTest::addColumn<quint64>("onDevices");
    QTest::newRow("the call fails") << -1 << quint64{0} << quint64{0};
    QTest::newRow("no Landlock") << 0 << quint64{0} << quint64{0};
    QTest::newRow("1: writes, creations, removals") << 1 << kAbi1 << kWrite;
    QTest::newRow("2 (Debian 12): and renames across folders") << 2 << kAbi2 << kWrite;
    QTest::newRow("3: and truncation") << 3 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
    QTest::newRow("4: TCP rights left to seccomp") << 4 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
    QTest::newRow("5: device ioctls stay free") << 5 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
    QTest::newRow("6: no scopes") << 6 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
    QTest::newRow("7") << 7 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
    QTest::newRow("newer than the program") << 12 << (kAbi2 | kTruncate) << (kWrite | kTruncate);
}

void TestConfinementRules::landlockRightsPerAbi()
{
    QFETCH(int, abi);
    QFETCH(quint64, handled);
    QFETCH(quint64, onDevices);
    const LandlockRights rights = landlockRightsFor(abi);
    QCOMPARE(quint64{rights.handled}, handled);
    QCOMPARE(quint64{rights.onDevices}, onDevices);
    QCOMPARE(rights.handled & kReading, quint64{0});
}

void TestConfinementRules::soundServerOnTheNetwork_data()
{
    QTest::addColumn<QByteArray>("pulseServer"); // null: unset
    QTest::addColumn<bool>("network");
    QTest::newRow("unset") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("unix socket") << QByteArray("unix:/run/user/1000/pulse/native") << false;
    QTest::newRow("bare path") << QByteArray("/run/pulse/native") << false;
    QTest::newRow("of this machine") << QByteArray("{1c0ffee}unix:/run/pulse/native") << false;
    QTest::newRow("two local, blanks around") << QByteArray("  unix:/a\t/b  ") << false;
    QTest::newRow("tcp") << QByteArray("tcp:soundbox:4713") << true;
    QTest::newRow("tcp4") << QByteArray("tcp4:127.0.0.1") << true;
    QTest::newRow("tcp6") << QByteArray("tcp6:[::1]:4713") << true;
    QTest::newRow("host name alone") << QByteArray("soundbox") << true;
    QTest::newRow("a network fallback") << QByteArray("unix:/run/pulse/native tcp:soundbox") << true;
    QTest::newRow("of another machine, on the network") << QByteArray("{1c0ffee}tcp:soundbox") << true;
}

void TestConfinementRules::soundServerOnTheNetwork()
{
    QFETCH(QByteArray, pulseServer);
    QFETCH(bool, network);
    QCOMPARE(soundServerNeedsNetwork(pulseServer.isNull() ? nullptr : pulseServer.constData()), network);
}

QTEST_APPLESS_MAIN(TestConfinementRules)
#include "tst_confinementrules.moc"
