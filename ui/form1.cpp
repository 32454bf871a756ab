#include "form1.h"

#include "accessibility.h"
#include "filelistbox.h"
#include "glyphbutton.h"
#include "identity.h"
#include "playerfacade.h"
#include "twips.h"

#include <QDir>
#include <QLineEdit>

namespace {

struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

constexpr int kClientWidth = 4965;
constexpr int kClientHeight = 3960;
constexpr TwipRect kText1{0, 0, 5055, 375};
constexpr TwipRect kFile1{0, 360, 5055, 2970};
constexpr TwipRect kPlayer{0, 3360, 4880, 600};
constexpr TwipRect kTransport{3720, 3480, 495, 375}; // Command2 and Command3
constexpr TwipRect kCommand1{4320, 3480, 495, 375};

QFont windowFont()
{
    // One family alone: fontconfig's alias for it applies only when no other family is named.
    QFont font(QStringLiteral("Comic Sans MS"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

QString designFolderText()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:");
#else
    // "C:" names nothing here; the current directory is the folder the list shows at start.
    return QDir::currentPath();
#endif
}

} // namespace

Form1::Form1(const PlayerFactory& makePlayer, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    installAccessibleRoles();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(idleTitle());
    setFont(windowFont());
    createControls(makePlayer);
    placeControls();
    orderControls();
}

QString Form1::idleTitle()
{
    return QString::fromLatin1(marrowlark::kName);
}

void Form1::createControls(const PlayerFactory& makePlayer)
{
    m_file1 = new FileListBox(this);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->setAccessibleName(tr("Files"));
    m_player = makePlayer(this);
    m_player->setObjectName(QStringLiteral("WindowsMediaPlayer1"));
    m_player->setFocusPolicy(Qt::StrongFocus); // the display strip is a stop in the tab order
    m_player->setAccessibleName(tr("Video"));
    m_text1 = new QLineEdit(designFolderText(), this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(tr("Folder"));
    m_command1 = new GlyphButton(
        {GlyphButton::Glyph::OpenFolder, QStringLiteral("Wingdings"), QStringLiteral("1"), tr("Open")}, this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command2 = new GlyphButton(
        {GlyphButton::Glyph::PlayTriangle, QStringLiteral("Wingdings 3"), QStringLiteral("u"), tr("Play")}, this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command3 = new GlyphButton(
        {GlyphButton::Glyph::PauseBars, QStringLiteral("Showcard Gothic"), QStringLiteral("II"), tr("Pause")}, this);
    m_command3->setObjectName(QStringLiteral("Command3"));
    m_announcer = new Announcer(this); // no size: nothing to paint, nothing to cover
}

void Form1::placeControls()
{
    const int dpiX = logicalDpiX();
    const int dpiY = logicalDpiY();
    const auto place = [dpiX, dpiY](QWidget* control, const TwipRect& r) {
        control->setGeometry(twipsToPixels(r.left, dpiX), twipsToPixels(r.top, dpiY), twipsToPixels(r.width, dpiX),
                             twipsToPixels(r.height, dpiY));
    };
    setFixedSize(twipsToPixels(kClientWidth, dpiX), twipsToPixels(kClientHeight, dpiY));
    place(m_text1, kText1);
    place(m_file1, kFile1);
    place(m_player, kPlayer);
    place(m_command2, kTransport);
    place(m_command3, kTransport);
    place(m_command1, kCommand1);
}

void Form1::orderControls()
{
    // Stacking from the bottom up: the buttons lie over the player's strip, the folder box's
    // bottom border over the list's top row.
    for (QWidget* control :
         {static_cast<QWidget*>(m_player), static_cast<QWidget*>(m_file1), static_cast<QWidget*>(m_text1),
          static_cast<QWidget*>(m_command1), static_cast<QWidget*>(m_command2), static_cast<QWidget*>(m_command3)}) {
        control->raise();
    }
    setTabOrder(m_file1, m_player);
    setTabOrder(m_player, m_text1);
    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_command3);
}
