#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Form1;

/**
 * Speaks the window's caption to a screen reader when it settles on a new outcome: the name of
 * the file that starts to play, or "Marrowlark" when a file ended, was stopped or failed. The
 * caption is the program's only status line; a user who cannot see it hears it this way.
 *
 * - A caption settles when the event loop comes round after it was set: a handler that writes
 *   it twice (a name, then the idle title) is heard once, with the last.
 * - The same caption again is not spoken (pause and resume keep the name); "Loading", the
 *   handover, is never spoken, since the outcome follows at once.
 * - Each spoken caption goes through the window's Announcer and as a name change of the window.
 * - The caption's text itself is left as the behaviour wrote it.
 *
 * GUI thread only. Owned by the window it speaks for.
 */
class CaptionAnnouncer final : public QObject {
    Q_OBJECT

public:
    explicit CaptionAnnouncer(Form1& form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void settle();

    Form1& m_form;
    QString m_settled; ///< the caption as it last settled, spoken or not
    QTimer m_settling;
};
