#pragma once

#include <QWidget>

#include <functional>

class Announcer;
class FileListBox;
class GlyphButton;
class PlayerFacade;
class QLineEdit;

/**
 * The window and its six controls, laid out as designed and never moved: the folder box Text1,
 * the file list File1, the player's display strip WindowsMediaPlayer1 along the bottom, and over
 * the strip the open button Command1 beside the play (Command2) and pause (Command3) buttons,
 * which share one rectangle. Positions are kept in twips and converted with the screen's logical
 * resolution. The window has a fixed size, a title bar with system menu and close box, and no
 * default button. It carries no behaviour of its own: see FormBehaviour.
 *
 * For a screen reader the window is a frame named by its caption, and every control that takes
 * the focus has a name: "Folder", "Files", "Video" and the glyph buttons' Open, Play and Pause.
 * announcer() speaks to it without a control of its own on the screen (accessibility.h).
 */
class Form1 final : public QWidget {
    Q_OBJECT

public:
    /// Makes the player control as a child of the given parent.
    using PlayerFactory = std::function<PlayerFacade*(QWidget* parent)>;

    explicit Form1(const PlayerFactory& makePlayer, QWidget* parent = nullptr);

    QLineEdit* text1() const { return m_text1; }
    FileListBox* file1() const { return m_file1; }
    PlayerFacade* windowsMediaPlayer1() const { return m_player; }
    GlyphButton* command1() const { return m_command1; }
    GlyphButton* command2() const { return m_command2; }
    GlyphButton* command3() const { return m_command3; }
    Announcer* announcer() const { return m_announcer; }

    /// The idle title, also the design caption.
    static QString idleTitle();

private:
    void createControls(const PlayerFactory& makePlayer);
    void placeControls();
    void orderControls();

    FileListBox* m_file1 = nullptr;
    PlayerFacade* m_player = nullptr;
    QLineEdit* m_text1 = nullptr;
    GlyphButton* m_command1 = nullptr;
    GlyphButton* m_command2 = nullptr;
    GlyphButton* m_command3 = nullptr;
    Announcer* m_announcer = nullptr;
};
