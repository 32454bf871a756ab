// The window's behaviour against the fake player: following the typed folder, playing the
// selected file from each of its three triggers, the transport keys and buttons, and the caption
// and buttons rebuilt on every state notification.
#include "fakeplayer.h"
#include "filelistbox.h"
#include "form1.h"
#include "formbehaviour.h"
#include "glyphbutton.h"
#include "programerror.h"
#include "startup.h"
#include "testfolder.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>

class TestBehaviour : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listFollowsTypedFolder_data();
    void listFollowsTypedFolder();
    void growingPathMovesListOnlyAtFolders();

    void playSelectedFile_data();
    void playSelectedFile();
    void eachTriggerPlaysTheSelection_data();
    void eachTriggerPlaysTheSelection();
    void failedPlayerCallRestoresIdleCaption();
    void missingFileLeavesPlayingFileItsCaption_data();
    void missingFileLeavesPlayingFileItsCaption();

    void spaceToggles_data();
    void spaceToggles();
    void keysTypedInFolderBoxAreText();
    void buttonsCallPlayerUnconditionally();

    void feedback_data();
    void feedback();

private:
    FakePlayer& player() const { return *static_cast<FakePlayer*>(m_form->windowsMediaPlayer1()); }
    void typeFolder(const QString& text) const { m_form->text1()->setText(text); }
    void selectName(const QString& name) const;

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Form1> m_form;
};

void TestBehaviour::init()
{
    m_folder = std::make_unique<TestFolder>();
    m_folder->addFile("song.mp3");
    m_folder->addFile("tone.ogg");
    m_folder->addFolder("sub");
    m_folder->addLink("sublink", "sub");
    m_form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestBehaviour::cleanup()
{
    m_form.reset();
    m_folder.reset();
}

void TestBehaviour::selectName(const QString& name) const
{
    FileListBox& list = *m_form->file1();
    for (int row = 0; row < list.model()->rowCount(); ++row) {
        if (list.model()->index(row, 0).data().toString() == name) {
            list.selectionModel()->setCurrentIndex(list.model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    QFAIL(qPrintable("no row " + name));
}

void TestBehaviour::listFollowsTypedFolder_data()
{
    QTest::addColumn<QString>("typed"); // relative to the test folder; "=" prefix: used verbatim
    QTest::addColumn<QString>("listPath");
    QTest::newRow("existing folder") << "/sub"
                                     << "/sub";
    QTest::newRow("trailing slash") << "/sub/"
                                    << "/sub/";
    QTest::newRow("link to a folder") << "/sublink"
                                      << "/sublink";
    QTest::newRow("a file stays") << "/song.mp3"
                                  << "";
    QTest::newRow("missing stays") << "/nothing"
                                   << "";
    QTest::newRow("emptied box stays") << "="
                                       << "";
}

void TestBehaviour::listFollowsTypedFolder()
{
    QFETCH(QString, typed);
    QFETCH(QString, listPath);
    typeFolder(m_folder->path());
    QCOMPARE(m_form->file1()->path(), m_folder->path());
    typeFolder(typed.startsWith(u'=') ? typed.mid(1) : m_folder->path() + typed);
    QCOMPARE(m_form->file1()->path(), m_folder->path() + listPath);
    QVERIFY(player().calls().isEmpty()); // editing never touches playback
}

void TestBehaviour::growingPathMovesListOnlyAtFolders()
{
    const QString target = m_folder->path() + "/sub/";
    m_form->text1()->clear();
    m_form->text1()->setFocus();
    QString expected = m_form->file1()->path();
    for (int i = 1; i <= target.size(); ++i) {
        QTest::keyClick(m_form->text1(), target.at(i - 1).toLatin1());
        const QString prefix = target.left(i);
        if (QFileInfo(prefix).isDir()) {
            expected = prefix;
        }
        QCOMPARE(m_form->file1()->path(), expected);
    }
    QCOMPARE(expected, target);
}

void TestBehaviour::playSelectedFile_data()
{
    QTest::addColumn<QString>("select");     // "" selects nothing
    QTest::addColumn<QString>("folderText"); // appended to the test folder; "=x" is used verbatim
    QTest::addColumn<bool>("deleteFirst");
    QTest::addColumn<QString>("expectedUrl"); // relative to the test folder; "" when nothing plays
    QTest::addColumn<QString>("caption");
    QTest::newRow("found") << "song.mp3"
                           << "" << false << "/song.mp3"
                           << "Loading";
    QTest::newRow("deleted after listing") << "song.mp3"
                                           << "" << true << ""
                                           << "Marrowlark";
    QTest::newRow("nothing selected finds nothing") << ""
                                                    << "" << false << ""
                                                    << "Marrowlark";
    QTest::newRow("folder text ending in slash") << "tone.ogg"
                                                 << "/" << false << "//tone.ogg"
                                                 << "Loading";
    QTest::newRow("text names another folder") << "song.mp3"
                                               << "/nothing" << false << ""
                                               << "Marrowlark";
}

void TestBehaviour::playSelectedFile()
{
    QFETCH(QString, select);
    QFETCH(QString, folderText);
    QFETCH(bool, deleteFirst);
    QFETCH(QString, expectedUrl);
    QFETCH(QString, caption);
    typeFolder(m_folder->path());
    typeFolder(m_folder->path() + folderText);
    if (!select.isEmpty()) {
        selectName(select);
    }
    if (deleteFirst) {
        m_folder->remove(select.toUtf8());
    }
    m_form->findChild<FormBehaviour*>()->playSelectedFile();
    const QStringList expectedCalls =
        expectedUrl.isEmpty() ? QStringList() : QStringList{"setUrl " + m_folder->path() + expectedUrl, "play"};
    QCOMPARE(player().calls(), expectedCalls);
    QCOMPARE(m_form->windowTitle(), caption);
    if (deleteFirst) { // the refreshed list no longer offers the file
        QCOMPARE(m_form->file1()->model()->rowCount(), 1);
    }
}

void TestBehaviour::eachTriggerPlaysTheSelection_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("open button") << "Command1";
    QTest::newRow("double-click") << "double-click";
    QTest::newRow("Return") << "Return";
    QTest::newRow("keypad Enter") << "Enter";
}

void TestBehaviour::eachTriggerPlaysTheSelection()
{
    QFETCH(QString, trigger);
    typeFolder(m_folder->path());
    selectName("tone.ogg");
    FileListBox& list = *m_form->file1();
    list.setFocus();
    const QRect row = list.visualRect(list.selectionModel()->selectedIndexes().first());
    if (trigger == "Command1") {
        QTest::mouseClick(m_form->command1(), Qt::LeftButton);
    } else if (trigger == "double-click") {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row.center());
    } else {
        QTest::keyClick(&list, trigger == "Return" ? Qt::Key_Return : Qt::Key_Enter);
    }
    // Exactly once: a double-click is also an activation, which must not play a second time.
    QCOMPARE(player().calls(), QStringList({"setUrl " + m_folder->path() + "/tone.ogg", "play"}));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Loading"));
}

void TestBehaviour::failedPlayerCallRestoresIdleCaption()
{
    typeFolder(m_folder->path());
    selectName("song.mp3");
    player().failNextCall("The media engine refused to open the file");
    QVERIFY_THROWS_EXCEPTION(ProgramError, m_form->findChild<FormBehaviour*>()->playSelectedFile());
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
}

void TestBehaviour::missingFileLeavesPlayingFileItsCaption_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("pauseShown");
    QTest::newRow("playing") << int(PlayStatePlaying) << "tone.ogg" << true;
    QTest::newRow("ended") << int(PlayStateMediaEnded) << "Marrowlark" << false;
}

void TestBehaviour::missingFileLeavesPlayingFileItsCaption()
{
    QFETCH(int, state);
    QFETCH(QString, caption);
    QFETCH(bool, pauseShown);
    typeFolder(m_folder->path());
    player().setUrl(m_folder->path() + "/tone.ogg");
    player().setState(state);
    selectName("song.mp3");
    m_folder->remove("song.mp3");
    m_form->findChild<FormBehaviour*>()->playSelectedFile();
    QCOMPARE(m_form->windowTitle(), caption);
    QCOMPARE(m_form->command3()->isVisible(), pauseShown);
    QCOMPARE(m_form->file1()->model()->rowCount(), 1);
}

void TestBehaviour::spaceToggles_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("stateReads");
    QTest::newRow("nothing loaded") << PlayStateUndefined << QStringList() << 2;
    QTest::newRow("stopped") << PlayStateStopped << QStringList() << 2;
    QTest::newRow("paused resumes") << PlayStatePaused << QStringList{"play"} << 2;
    QTest::newRow("playing pauses") << PlayStatePlaying << QStringList{"pause"} << 1;
    QTest::newRow("buffering") << PlayStateBuffering << QStringList() << 2;
    QTest::newRow("ended does not restart") << PlayStateMediaEnded << QStringList() << 2;
    QTest::newRow("failed") << PlayStateReady << QStringList() << 2;
}

void TestBehaviour::spaceToggles()
{
    QFETCH(int, state);
    QFETCH(QStringList, calls);
    QFETCH(int, stateReads);
    player().setState(state);
    const int readsBefore = player().playStateReads();
    m_form->file1()->setFocus();
    QTest::keyClick(m_form->file1(), Qt::Key_Space);
    QCOMPARE(player().calls(), calls);
    QCOMPARE(player().playStateReads() - readsBefore, stateReads);
}

void TestBehaviour::keysTypedInFolderBoxAreText()
{
    player().setState(PlayStatePlaying);
    m_form->text1()->clear();
    m_form->text1()->setFocus();
    QTest::keyClicks(m_form->text1(), "a b");
    QTest::keyClick(m_form->text1(), Qt::Key_Return);
    QCOMPARE(m_form->text1()->text(), QStringLiteral("a b"));
    QVERIFY(player().calls().isEmpty()); // no default button, no toggle
}

void TestBehaviour::buttonsCallPlayerUnconditionally()
{
    player().setState(PlayStatePlaying); // shows the pause button
    QTest::mouseClick(m_form->command3(), Qt::LeftButton);
    player().setState(PlayStatePaused); // shows the play button
    QTest::mouseClick(m_form->command2(), Qt::LeftButton);
    QCOMPARE(player().calls(), QStringList({"pause", "play"}));
}

void TestBehaviour::feedback_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("playShown");
    QTest::addColumn<bool>("pauseShown");
    QTest::newRow("playing: name without folder") << PlayStatePlaying << "/m/song.mp3"
                                                  << "/m"
                                                  << "song.mp3" << false << true;
    QTest::newRow("paused: play glyph") << PlayStatePaused << "/m/song.mp3"
                                        << "/m"
                                        << "song.mp3" << true << false;
    QTest::newRow("folder edited after start") << PlayStatePlaying << "/m/song.mp3"
                                               << "/d/x"
                                               << "/m/song.mp3" << false << true;
    QTest::newRow("empty folder text strips every slash") << PlayStatePlaying << "/m/a/b.mp3"
                                                          << ""
                                                          << "mab.mp3" << false << true;
    QTest::newRow("prefix twice") << PlayStatePlaying << "/m//m/x.mp3"
                                  << "/m"
                                  << "x.mp3" << false << true;
    QTest::newRow("case mismatch keeps prefix") << PlayStatePaused << "/M/song.mp3"
                                                << "/m"
                                                << "/M/song.mp3" << true << false;
    // Every other code, named or not, shows the idle title.
    for (const int other :
         {PlayStateUndefined, PlayStateStopped, PlayStateBuffering, PlayStateMediaEnded, 9, PlayStateReady, -1}) {
        QTest::addRow("state %d: idle title", other) << other << "/m/song.mp3"
                                                     << "/m"
                                                     << "Marrowlark" << false << false;
    }
}

void TestBehaviour::feedback()
{
    QFETCH(int, state);
    QFETCH(QString, url);
    QFETCH(QString, folderText);
    QFETCH(QString, caption);
    QFETCH(bool, playShown);
    QFETCH(bool, pauseShown);
    player().setUrl(url);
    player().setState(PlayStatePlaying); // a previous state, to see that everything is rebuilt
    typeFolder(folderText);
    player().setState(state);
    QCOMPARE(m_form->windowTitle(), caption);
    QCOMPARE(m_form->command2()->isVisible(), playShown);
    QCOMPARE(m_form->command3()->isVisible(), pauseShown);
}

QTEST_MAIN(TestBehaviour)
#include "tst_behaviour.moc"
