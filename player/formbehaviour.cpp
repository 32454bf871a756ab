#include "formbehaviour.h"

#include "caption.h"
#include "filelistbox.h"
#include "folderquery.h"
#include "form1.h"
#include "glyphbutton.h"
#include "playerfacade.h"
#include "programerror.h"
#include "transportfocus.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeySpace = 32;

// The character code a key-press carries, as the list's key handler sees it.
int keyAsciiOf(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kKeyEnter;
    case Qt::Key_Space:
        return kKeySpace;
    default:
        return event.text().isEmpty() ? 0 : event.text().at(0).unicode();
    }
}

} // namespace

FormBehaviour::FormBehaviour(Form1& form)
    : QObject(&form)
    , m_form(form)
{
    // Each handler's errors go to the report at its connection, never through Qt's own code.
    connect(form.text1(), &QLineEdit::textChanged, this, reportingErrors([this] { text1Change(); }));
    connect(form.command1(), &QPushButton::clicked, this, reportingErrors([this] { playSelectedFile(); }));
    // The double-click alone: a double-click also emits activated, which would play twice.
    connect(form.file1(), &QAbstractItemView::doubleClicked, this, reportingErrors([this] { playSelectedFile(); }));
    connect(form.command2(), &QPushButton::clicked, this, reportingErrors([this] { command2Click(); }));
    connect(form.command3(), &QPushButton::clicked, this, reportingErrors([this] { command3Click(); }));
    connect(form.windowsMediaPlayer1(), &PlayerFacade::playStateChange, this,
            reportingErrors([this] { windowsMediaPlayer1PlayStateChange(0); }));
    form.file1()->installEventFilter(this);
}

bool FormBehaviour::folderIsPresent(const QString& path)
{
    return folderExists(path);
}

QString FormBehaviour::busyCaption()
{
    return QStringLiteral("Loading");
}

void FormBehaviour::text1Change()
{
    forgetPendingLookup();
    const QString text = m_form.text1()->text();
    // The test and the listing in one question: both wait on the folder's file system. Between
    // them, a question already superseded by the next keystroke stops.
    m_questions.ask(
        AnswerOrder::Question::Folder, text,
        [text] {
            const bool follow = folderIsPresent(text) && FolderWorker::stillWanted();
            return follow ? std::optional(FileListBox::read(text)) : std::nullopt;
        },
        [this](const Answered<std::optional<FolderListing>>& listing) { followFolder(listing); });
}

void FormBehaviour::followFolder(const Answered<std::optional<FolderListing>>& listing)
{
    if (listing.value()) {
        m_questions.supersede(AnswerOrder::Question::Refresh); // it would bring back the folder left
        m_form.file1()->showFolder(*listing.value());
    }
}

void FormBehaviour::playSelectedFile()
{
    m_form.setWindowTitle(busyCaption());
    const QString name = m_form.file1()->fileName();
    const QString path = m_form.text1()->text() + u'/' + name;
    m_questions.ask(
        AnswerOrder::Question::Lookup, path, [path] { return firstMatch(path); },
        [this, path](const Answered<QString>& match) { playOrForget(path, match); });
}

void FormBehaviour::playOrForget(const QString& path, const Answered<QString>& match)
{
    try {
        if (match.value() != QString()) {
            m_form.windowsMediaPlayer1()->setUrl(path);
            m_form.windowsMediaPlayer1()->controls()->play();
            return;
        }
        refreshList();
        // "Marrowlark" when nothing plays; a file that still plays keeps its name in the caption
        // rather than the window claiming that nothing plays.
        showPlayerState();
    } catch (...) {
        // The caption must not go on claiming work that is not happening.
        m_form.setWindowTitle(Form1::idleTitle());
        throw;
    }
}

void FormBehaviour::refreshList()
{
    const QString folder = m_form.file1()->path();
    m_questions.ask(
        AnswerOrder::Question::Refresh, folder, [folder] { return FileListBox::read(folder); },
        [this](const Answered<FolderListing>& listing) { m_form.file1()->showRefreshed(listing.value()); });
}

void FormBehaviour::forgetPendingLookup()
{
    // A file that will not be played after all must not leave the caption at "Loading".
    if (m_questions.supersede(AnswerOrder::Question::Lookup)) {
        showPlayerState();
    }
}

bool FormBehaviour::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: the list's destructor still sends events through this filter after the
    // window's own destructor has run, when m_form may no longer be touched.
    if (event->type() == QEvent::KeyPress && watched == m_form.file1()) {
        const int keyAscii = keyAsciiOf(*static_cast<QKeyEvent*>(event));
        reportingErrors([this, keyAscii] { file1KeyPress(keyAscii); })();
    }
    return false; // the list's own handling of every key stays
}

void FormBehaviour::file1KeyPress(int keyAscii)
{
    if (keyAscii == kKeyEnter) {
        playSelectedFile();
    } else if (keyAscii == kKeySpace) {
        playPauseToggle();
    }
}

void FormBehaviour::playPauseToggle()
{
    forgetPendingLookup();
    PlayerFacade& player = *m_form.windowsMediaPlayer1();
    if (player.playState() == PlayStatePlaying) {
        player.controls()->pause();
    } else if (player.playState() == PlayStatePaused) {
        player.controls()->play();
    }
}

void FormBehaviour::command2Click()
{
    forgetPendingLookup();
    m_form.windowsMediaPlayer1()->controls()->play();
}

void FormBehaviour::command3Click()
{
    forgetPendingLookup();
    m_form.windowsMediaPlayer1()->controls()->pause();
}

void FormBehaviour::windowsMediaPlayer1PlayStateChange(int /*newState*/)
{
    showPlayerState();
}

void FormBehaviour::showPlayerState()
{
    PlayerFacade& player = *m_form.windowsMediaPlayer1();
    const TransportFocusKeeper focus(m_form); // the twin, not the list, takes a hidden button's focus
    m_form.command3()->setVisible(false);
    m_form.command2()->setVisible(false);
    m_form.setWindowTitle(captionForLocation(player.url(), m_form.text1()->text()));
    if (player.playState() == PlayStatePaused) {
        m_form.command2()->setVisible(true);
    } else if (player.playState() == PlayStatePlaying) {
        m_form.command3()->setVisible(true);
    } else {
        m_form.setWindowTitle(Form1::idleTitle());
    }
}
