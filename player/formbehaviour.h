#pragma once

#include <QObject>

class Form1;

/**
 * What the window does. Each input is one short handler bound to one control event:
 *
 * - Text1 changed         → the list follows the text when it names an existing folder;
 * - Command1 clicked,
 *   File1 double-clicked,
 *   Return in File1       → playSelectedFile();
 * - Space in File1        → pause while playing, resume while paused, nothing otherwise;
 * - Command2 / Command3   → the player's play / pause;
 * - the player's playStateChange → caption and transport buttons rebuilt from the player's
 *   location, its state and the folder text.
 *
 * Handlers keep nothing between runs: every value is read afresh from the controls or the player.
 * They trap no error; a ProgramError leaves the handler at the failing step and goes on to the
 * application's report. GUI thread only.
 */
class FormBehaviour final : public QObject {
    Q_OBJECT

public:
    /// Binds the handlers to the controls of @p form, which owns this object.
    explicit FormBehaviour(Form1& form);

    /// Does @p path name an existing folder? A fresh query on every call.
    static bool folderIsPresent(const QString& path);
    /// The caption while a file is handed to the player: "Loading".
    static QString busyCaption();

public slots:
    void playSelectedFile();
    /// Space in File1: pause while playing, resume while paused, nothing otherwise.
    void playPauseToggle();
    /// Command2's click: the player's play.
    void command2Click();
    /// Command3's click: the player's pause.
    void command3Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void text1Change();
    void file1KeyPress(int keyAscii);
    void windowsMediaPlayer1PlayStateChange(int newState);
    void showPlayerState();
    void playOrForget();

    Form1& m_form;
};
