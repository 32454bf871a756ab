#pragma once

#include "filelistbox.h"
#include "filequestions.h"

#include <QObject>

#include <optional>

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
 *
 * The folder test, the listing that moves the list, the first-match lookup and the list's
 * refresh never run on the GUI thread (filequestions.h). On a disk that answers, the handler
 * has their answer before it returns, as if it had asked itself. On a share that keeps them
 * waiting, the handler returns and the rest of it runs when the answer comes: the list moves
 * when the text still names that folder, a file plays when no newer choice, folder edit, Space
 * or button click came in between, and the caption reads "Loading" until then.
 */
class FormBehaviour final : public QObject {
    Q_OBJECT

public:
    /// Binds the handlers to the controls of @p form, which owns this object.
    explicit FormBehaviour(Form1& form);

    /// Does @p path name an existing folder? A fresh query on every call; any thread, and it
    /// blocks on the file system.
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
    void followFolder(const Answered<std::optional<FolderListing>>& listing);
    void playOrForget(const QString& path, const Answered<QString>& match);
    void refreshList();
    void forgetPendingLookup();
    void file1KeyPress(int keyAscii);
    void windowsMediaPlayer1PlayStateChange(int newState);
    void showPlayerState();

    Form1& m_form;
    FileQuestions m_questions{*this};
};
