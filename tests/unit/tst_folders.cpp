// The folder queries and the file list over hostile folders: what is listed, in which order,
// what the first-match lookup answers, and names that are not valid UTF-8.
#include "filelistbox.h"
#include "folderquery.h"
#include "naturalorder.h"
#include "pathcodec.h"
#include "programerror.h"
#include "testfolder.h"

#include <QtTest>

#include <algorithm>

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void listShowsNormalFilesOnly();
    void listOrderIsNatural_data();
    void listOrderIsNatural();
    void undecodableNameStillNamesItsFile();
    void unreadableFolderLeavesListAsItWas();
    void refreshDropsVanishedEntriesAndKeepsSelection();
    void folderExists_data();
    void folderExists();
    void firstMatch_data();
    void firstMatch();
    void wildcardMatch_data();
    void wildcardMatch();
    void pathCodecRoundTrips_data();
    void pathCodecRoundTrips();
};

namespace {

QStringList shownNames(const FileListBox& list)
{
    QStringList names;
    for (int row = 0; row < list.model()->rowCount(); ++row) {
        names << list.model()->index(row, 0).data().toString();
    }
    return names;
}

void select(FileListBox& list, int row)
{
    list.selectionModel()->setCurrentIndex(list.model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

} // namespace

void TestFolders::listShowsNormalFilesOnly()
{
    TestFolder folder;
    folder.addFile("song.mp3");
    folder.addFile(".hidden.mp3");
    folder.addFolder("sub.mp3");
    folder.addFifo("pipe.mp3");
    folder.addLink("link.mp3", "song.mp3");
    folder.addLink("dangling.mp3", "nowhere.mp3");
    folder.addLink("dirlink", "sub.mp3");
    folder.addFile("with space.ogg");
    folder.addFile("star*.mp3");
    folder.addFile("what?.mp3");
    folder.addFile("[bracket].mp3");
    FileListBox list;
    list.setPath(folder.path());
    QCOMPARE(shownNames(list),
             QStringList({"[bracket].mp3", "link.mp3", "song.mp3", "star*.mp3", "what?.mp3", "with space.ogg"}));
    QCOMPARE(list.path(), folder.path());
    QVERIFY(list.fileName().isEmpty());
}

void TestFolders::listOrderIsNatural_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("numbers by value") << QStringList{"track10", "track2", "track1"}
                                      << QStringList{"track1", "track2", "track10"};
    QTest::newRow("case ignored") << QStringList{"b", "A", "a2", "B1"} << QStringList{"A", "a2", "b", "B1"};
    QTest::newRow("leading zeros beside their value")
        << QStringList{"a10", "a01", "a2"} << QStringList{"a01", "a2", "a10"};
    QTest::newRow("long digit runs") << QStringList{"x99999999999999999999", "x100000000000000000000", "x3"}
                                     << QStringList{"x3", "x99999999999999999999", "x100000000000000000000"};
    QTest::newRow("prefix first") << QStringList{"abc", "ab", "ab1"} << QStringList{"ab", "ab1", "abc"};
}

void TestFolders::listOrderIsNatural()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    TestFolder folder;
    for (const QString& name : names) {
        folder.addFile(name.toUtf8());
    }
    FileListBox list;
    list.setPath(folder.path());
    QCOMPARE(shownNames(list), expected);
}

void TestFolders::undecodableNameStillNamesItsFile()
{
    TestFolder folder;
    const QByteArray raw("caf\xe9.mp3"); // Latin-1 bytes, not UTF-8
    folder.addFile(raw, "content");
    FileListBox list;
    list.setPath(folder.path());
    QCOMPARE(shownNames(list), QStringList{QStringLiteral("caf\uFFFD.mp3")});
    select(list, 0);
    const QString path = folder.path() + u'/' + list.fileName();
    QCOMPARE(encodeFileName(path), folder.pathBytes() + '/' + raw);
    QCOMPARE(::firstMatch(path), list.fileName());
}

void TestFolders::unreadableFolderLeavesListAsItWas()
{
    TestFolder folder;
    folder.addFile("kept.mp3");
    FileListBox list;
    list.setPath(folder.path());
    QVERIFY_THROWS_EXCEPTION(ProgramError, list.setPath(folder.path() + "/missing"));
    QVERIFY_THROWS_EXCEPTION(ProgramError, list.setPath(folder.path() + "/kept.mp3"));
    QCOMPARE(list.path(), folder.path());
    QCOMPARE(shownNames(list), QStringList{"kept.mp3"});
}

void TestFolders::refreshDropsVanishedEntriesAndKeepsSelection()
{
    TestFolder folder;
    folder.addFile("a.mp3");
    folder.addFile("b.mp3");
    folder.addFile("c.mp3");
    FileListBox list;
    list.setPath(folder.path());
    select(list, 2);
    folder.remove("a.mp3");
    folder.addFile("d.mp3");
    list.refresh();
    QCOMPARE(shownNames(list), QStringList({"b.mp3", "c.mp3", "d.mp3"}));
    QCOMPARE(list.fileName(), QStringLiteral("c.mp3"));
    folder.remove("c.mp3");
    list.refresh();
    QVERIFY(list.fileName().isEmpty());
}

void TestFolders::folderExists_data()
{
    QTest::addColumn<QString>("relative"); // to a test folder holding sub/, file, link, loop
    QTest::addColumn<bool>("exists");
    QTest::newRow("the folder") << "" << true;
    QTest::newRow("subfolder") << "/sub" << true;
    QTest::newRow("trailing slash") << "/sub/" << true;
    QTest::newRow("doubled slashes") << "//sub" << true;
    QTest::newRow("dot-dot") << "/sub/.." << true;
    QTest::newRow("link to folder") << "/dirlink" << true;
    QTest::newRow("missing") << "/nope" << false;
    QTest::newRow("a file") << "/file" << false;
    QTest::newRow("file with slash") << "/file/" << false;
    QTest::newRow("link loop") << "/loop" << false;
    QTest::newRow("NUL byte") << QString("/sub") + QChar(0) + "x" << false;
    QTest::newRow("too long") << "/" + QString(100000, u'a') << false;
    QTest::newRow("control characters") << "/sub\n\t" << false;
}

void TestFolders::folderExists()
{
    QFETCH(QString, relative);
    QFETCH(bool, exists);
    TestFolder folder;
    folder.addFolder("sub");
    folder.addFile("file");
    folder.addLink("dirlink", "sub");
    folder.addLink("loop", "loop");
    QCOMPARE(::folderExists(folder.path() + relative), exists);
}

void TestFolders::firstMatch_data()
{
    QTest::addColumn<QString>("pattern"); // relative to a folder holding the files below
    QTest::addColumn<QStringList>("acceptable");
    const QStringList none{QString()};
    QTest::newRow("exact") << "/song.mp3" << QStringList{"song.mp3"};
    QTest::newRow("missing") << "/gone.mp3" << none;
    QTest::newRow("empty name: nothing, not the folder") << "/" << none;
    QTest::newRow("folder text ending in slash") << "//song.mp3" << QStringList{"song.mp3"};
    QTest::newRow("star") << "/*.ogg" << QStringList{"tone.ogg"};
    QTest::newRow("question mark") << "/son?.mp3" << QStringList{"song.mp3"};
    QTest::newRow("bracket is literal") << "/[x].mp3" << QStringList{"[x].mp3"};
    QTest::newRow("bracket pattern matches nothing else") << "/[s]ong.mp3" << none;
    QTest::newRow("folder is not a normal entry") << "/sub" << none;
    QTest::newRow("FIFO is not a normal entry") << "/pipe.mp3" << none;
    QTest::newRow("link to a file is") << "/link.mp3" << QStringList{"link.mp3"};
    QTest::newRow("dangling link is not") << "/dangling.mp3" << none;
    QTest::newRow("dot-file is not") << "/.hidden" << none;
    QTest::newRow("star skips dot-files and folders")
        << "/*" << QStringList{"song.mp3", "tone.ogg", "[x].mp3", "link.mp3"};
    QTest::newRow("missing folder") << "/nofolder/song.mp3" << none;
    QTest::newRow("too long") << "/" + QString(5000, u'a') << none;
    QTest::newRow("NUL byte") << QString("/song.mp3") + QChar(0) << none;
}

void TestFolders::firstMatch()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, acceptable);
    TestFolder folder;
    folder.addFile("song.mp3");
    folder.addFile("tone.ogg");
    folder.addFile("[x].mp3");
    folder.addFile(".hidden");
    folder.addFolder("sub");
    folder.addFifo("pipe.mp3");
    folder.addLink("link.mp3", "song.mp3");
    folder.addLink("dangling.mp3", "none");
    const QString answer = ::firstMatch(folder.path() + pattern);
    QVERIFY2(acceptable.contains(answer), qPrintable(answer));
}

void TestFolders::wildcardMatch_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("literal") << "a.mp3"
                             << "a.mp3" << true;
    QTest::newRow("case-sensitive") << "A.mp3"
                                    << "a.mp3" << false;
    QTest::newRow("star empty") << "a*"
                                << "a" << true;
    QTest::newRow("star middle") << "a*c"
                                 << "abbbc" << true;
    QTest::newRow("star needs backtracking") << "*ab*ab"
                                             << "xabyabab" << true;
    QTest::newRow("star no match") << "a*d"
                                   << "abc" << false;
    QTest::newRow("question one char") << "a?c"
                                       << "abc" << true;
    QTest::newRow("question not empty") << "a?c"
                                        << "ac" << false;
    QTest::newRow("only stars") << "***"
                                << "" << true;
    QTest::newRow("trailing text") << "a"
                                   << "ab" << false;
}

void TestFolders::wildcardMatch()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(::wildcardMatch(pattern, name), matches);
}

void TestFolders::pathCodecRoundTrips_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QByteArray("plain.mp3");
    QTest::newRow("utf-8") << QByteArray("\xc3\xa9t\xc3\xa9 \xf0\x9f\x8e\xb5.ogg");
    QTest::newRow("latin-1") << QByteArray("caf\xe9");
    QTest::newRow("truncated sequence") << QByteArray("a\xe2\x82");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80");
    QTest::newRow("stray continuation") << QByteArray("\x80\xbf");
    QTest::newRow("newline") << QByteArray("a\nb");
}

void TestFolders::pathCodecRoundTrips()
{
    QFETCH(QByteArray, bytes);
    const QString decoded = decodeFileName(bytes);
    QCOMPARE(encodeFileName(decoded), bytes);
    const QString shown = displayFileName(decoded);
    QCOMPARE(QString::fromUtf8(shown.toUtf8()), shown); // displayable text is valid Unicode
}

QTEST_MAIN(TestFolders)
#include "tst_folders.moc"
