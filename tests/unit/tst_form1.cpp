// The window as designed: geometry in twips at the screen's resolution, stacking and tab orders,
// the load step before the first show, and the focus at start.
#include "fakeplayer.h"
#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"
#include "startup.h"
#include "twips.h"

#include <QLineEdit>
#include <QtTest>

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void controlGeometry_data();
    void controlGeometry();
    void clientAreaIsFixed();
    void stackingOrder();
    void tabOrderSkipsHiddenButtons();
    void transportButtonsNeverShownAtStart();
    void focusStartsInFileList();
    void windowFontIsTheDesignFont();
    void glyphButtonsAreNamedForAccessibility();
    void folderBoxShowsTheListsFolder();

private:
    static std::unique_ptr<Form1> makeForm()
    {
        return createMainWindow([](QWidget* p) { return new FakePlayer(p); });
    }
};

void TestForm1::controlGeometry_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QRect>("pixelsAt96");
    QTest::newRow("Command3 pause") << "Command3" << QRect(3720, 3480, 495, 375) << QRect(248, 232, 33, 25);
    QTest::newRow("Command2 play") << "Command2" << QRect(3720, 3480, 495, 375) << QRect(248, 232, 33, 25);
    QTest::newRow("Command1 open") << "Command1" << QRect(4320, 3480, 495, 375) << QRect(288, 232, 33, 25);
    QTest::newRow("Text1 folder box") << "Text1" << QRect(0, 0, 5055, 375) << QRect(0, 0, 337, 25);
    QTest::newRow("File1 file list") << "File1" << QRect(0, 360, 5055, 2970) << QRect(0, 24, 337, 198);
    QTest::newRow("player strip") << "WindowsMediaPlayer1" << QRect(0, 3360, 4880, 600) << QRect(0, 224, 325, 40);
}

void TestForm1::controlGeometry()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QRect, pixelsAt96);
    const auto form = makeForm();
    const auto* widget = form->findChild<QWidget*>(control);
    QVERIFY(widget);
    const int dx = form->logicalDpiX();
    const int dy = form->logicalDpiY();
    const QRect expected(twipsToPixels(twips.x(), dx), twipsToPixels(twips.y(), dy), twipsToPixels(twips.width(), dx),
                         twipsToPixels(twips.height(), dy));
    QCOMPARE(widget->geometry(), expected);
    if (dx == 96 && dy == 96) {
        QCOMPARE(widget->geometry(), pixelsAt96);
    }
}

void TestForm1::clientAreaIsFixed()
{
    const auto form = makeForm();
    const QSize expected(twipsToPixels(4965, form->logicalDpiX()), twipsToPixels(3960, form->logicalDpiY()));
    QCOMPARE(form->size(), expected);
    QCOMPARE(form->minimumSize(), expected);
    QCOMPARE(form->maximumSize(), expected);
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form->windowTitle(), QStringLiteral("Marrowlark"));
}

void TestForm1::stackingOrder()
{
    const auto form = makeForm();
    QStringList bottomUp;
    for (QObject* child : form->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) {
            bottomUp << widget->objectName();
        }
    }
    bottomUp.removeAll(QString());
    QCOMPARE(bottomUp, QStringList({"WindowsMediaPlayer1", "File1", "Text1", "Command1", "Command2", "Command3"}));
}

void TestForm1::tabOrderSkipsHiddenButtons()
{
    const auto form = makeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QStringList visited;
    QWidget* widget = form->file1();
    widget->setFocus();
    for (int i = 0; i < 5; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The transport buttons start hidden; Tab passes over them and wraps to the list.
    QCOMPARE(visited, QStringList({"File1", "WindowsMediaPlayer1", "Text1", "Command1", "File1"}));
    form->command3()->show();
    form->command1()->setFocus();
    QTest::keyClick(form->command1(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->command3());
}

// Records every Show event of the transport buttons during start-up.
class ShowSpy : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        shows += event->type() == QEvent::Show ? 1 : 0;
        return false;
    }
};

void TestForm1::transportButtonsNeverShownAtStart()
{
    const auto form = makeForm();
    ShowSpy spy;
    form->command2()->installEventFilter(&spy);
    form->command3()->installEventFilter(&spy);
    QVERIFY(form->command2()->isHidden());
    QVERIFY(form->command3()->isHidden());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(spy.shows, 0);
    QVERIFY(form->command1()->isVisible());
}

void TestForm1::focusStartsInFileList()
{
    const auto form = makeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QTRY_COMPARE(QApplication::focusWidget(), form->file1());
    QVERIFY(form->file1()->fileName().isEmpty()); // nothing selected at start
}

void TestForm1::windowFontIsTheDesignFont()
{
    const auto form = makeForm();
    QCOMPARE(form->font().family(), QStringLiteral("Comic Sans MS"));
    QCOMPARE(form->font().pointSizeF(), 8.25);
    QVERIFY(form->font().bold());
    QCOMPARE(form->text1()->font(), form->font());
    QCOMPARE(form->file1()->font(), form->font());
}

void TestForm1::glyphButtonsAreNamedForAccessibility()
{
    const auto form = makeForm();
    QCOMPARE(form->command1()->accessibleName(), QStringLiteral("Open"));
    QCOMPARE(form->command2()->accessibleName(), QStringLiteral("Play"));
    QCOMPARE(form->command3()->accessibleName(), QStringLiteral("Pause"));
    // Without the symbol fonts the glyphs are drawn, never typed as stray letters.
    for (GlyphButton* button : {form->command1(), form->command2(), form->command3()}) {
        QCOMPARE(button->text().isEmpty(), !button->usesSymbolFont());
    }
}

void TestForm1::folderBoxShowsTheListsFolder()
{
    const auto form = makeForm();
    QCOMPARE(form->text1()->text(), QDir::currentPath());
    QCOMPARE(form->file1()->path(), QDir::currentPath());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
