#pragma once

#include <QWidget>

/**
 * @file
 * What a screen reader reads of the window beyond the controls' own names and roles.
 *
 * installAccessibleRoles() gives two kinds of widget the roles a screen reader needs, process-wide:
 * - Form1, the window, is a frame, named by its caption: a screen reader reads the title of a
 *   frame on request and when the window comes up, which it does not for a bare top-level widget.
 * - an Announcer is a notification.
 *
 * It is idempotent and cheap; call it before the first widget of either kind is made (Form1's
 * constructor does). GUI thread only, like every widget.
 */
void installAccessibleRoles();

/**
 * A child that a screen reader speaks at once, without moving the focus: each announce() shows
 * it again to the accessibility bridge with the text as its name. Every announcement is spoken,
 * so announce outcomes only.
 *
 * It has no size, paints nothing, takes no input and no focus and is no stop in the tab order:
 * a sighted user never meets it. Without a screen reader an announcement costs an event that
 * goes nowhere. GUI thread only.
 */
class Announcer final : public QWidget {
    Q_OBJECT

public:
    explicit Announcer(QWidget* parent);

    void announce(const QString& text);
};
