// The floor for start-up: a bare Qt window with the same six controls, the same font and the
// same geometry as the program's window, and nothing behind them. bench/run.sh times it beside
// the program. Built twice: as it is, and with the media engine merely linked.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#ifdef MARROWLARK_ANCHOR_LINKED
#include <mpv/client.h>
// Referenced and never called: the engine is linked, so the loader maps it before main().
unsigned long (*volatile linkedEngineFunction)() = &mpv_client_api_version;
#endif

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Marrowlark"));
    QFont font(QStringLiteral("Comic Sans MS"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    window.setFont(font);
    window.setFixedSize(331, 264);

    auto* strip = new QWidget(&window);
    strip->setGeometry(0, 224, 325, 40);
    strip->setAutoFillBackground(true);
    strip->setPalette(QPalette(Qt::black));
    auto* list = new QListWidget(&window);
    list->setGeometry(0, 24, 337, 198);
    list->setUniformItemSizes(true);
    list->addItems(QDir::current().entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
    auto* text = new QLineEdit(QDir::currentPath(), &window);
    text->setGeometry(0, 0, 337, 25);
    auto* open = new QPushButton(QStringLiteral("1"), &window);
    open->setGeometry(288, 232, 33, 25);
    for (const char* glyph : {"u", "II"}) {
        auto* button = new QPushButton(QString::fromLatin1(glyph), &window);
        button->setGeometry(248, 232, 33, 25);
        button->hide();
    }
    window.show();
    list->setFocus();
    return app.exec();
}
