// The application object: arguments have no effect, the numeric locale suits the engine, and an
// error escaping a handler is reported once while the window goes on working.
#include "application.h"
#include "fakeplayer.h"
#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"
#include "startup.h"
#include "testfolder.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

#include <clocale>

// Answers the error box as it shows, from inside its own event loop, and notes what it said.
class BoxAnswer : public QObject {
public:
    QString title;
    QString text;
    bool modal = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box != nullptr && box->objectName() == QLatin1String("unhandledErrorBox") &&
            event->type() == QEvent::Show) {
            title = box->windowTitle();
            text = box->text();
            modal = box->isModal();
            QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
        }
        return false;
    }
};

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void identity();
    void errorInHandlerIsReportedAndWindowGoesOn();
    void defaultReportIsModalBoxTitledMarrowlark();

private:
    void chooseFile();
    FakePlayer& player() const { return *static_cast<FakePlayer*>(m_form->windowsMediaPlayer1()); }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Form1> m_form;
};

void TestApplication::init()
{
    m_folder = std::make_unique<TestFolder>();
    m_folder->addFile("song.mp3");
    m_form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->text1()->setText(m_folder->path());
}

void TestApplication::cleanup()
{
    static_cast<Application*>(qApp)->setErrorReport(&Application::showErrorBox);
    m_form.reset();
    m_folder.reset();
}

void TestApplication::chooseFile()
{
    FileListBox& list = *m_form->file1();
    list.selectionModel()->setCurrentIndex(list.model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
}

void TestApplication::identity()
{
    QCOMPARE(QCoreApplication::arguments().size(), 1);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Marrowlark"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
    QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), QByteArray("C"));
}

void TestApplication::errorInHandlerIsReportedAndWindowGoesOn()
{
    QStringList reports;
    static_cast<Application*>(qApp)->setErrorReport([&](const QString& message) { reports << message; });
    chooseFile();
    player().failNextCall(QStringLiteral("The media engine refused to open the file"));
    QTest::mouseClick(m_form->command1(), Qt::LeftButton);
    QCOMPARE(reports, QStringList{"The media engine refused to open the file"});
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));

    // The window goes on: the same click now plays.
    QTest::mouseClick(m_form->command1(), Qt::LeftButton);
    QCOMPARE(player().calls(), QStringList({"setUrl " + m_folder->path() + "/song.mp3", "play"}));
    QCOMPARE(reports.size(), 1);
}

void TestApplication::defaultReportIsModalBoxTitledMarrowlark()
{
    BoxAnswer answer;
    qApp->installEventFilter(&answer);
    chooseFile();
    player().failNextCall(QStringLiteral("Permission denied"));
    QTest::mouseClick(m_form->command1(), Qt::LeftButton); // returns once the box is closed
    QCOMPARE(answer.title, QStringLiteral("Marrowlark"));
    QCOMPARE(answer.text, QStringLiteral("Permission denied"));
    QVERIFY(answer.modal);
}

int main(int argc, char* argv[])
{
    Application app(argv[0]);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
