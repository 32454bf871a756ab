#pragma once

class Form1;
class QWidget;

/**
 * Keeps the focus on the transport while the play and pause buttons swap.
 *
 * Hiding a button that has the focus sends the focus down the tab chain, to the list, even when
 * its twin shows in its place in the same handler. Made at the start of such a handler, the
 * keeper takes the focus off a transport button that has it, so that for the handler's span the
 * focus is nowhere and a screen reader hears no stop in between; at its end, a thrown error
 * included, the focus goes to the button that shows, or to the list when neither does. When no
 * transport button had the focus it does nothing. It works on the window's focus child, so it
 * holds for a window that is not active too. GUI thread only.
 */
class TransportFocusKeeper {
public:
    explicit TransportFocusKeeper(Form1& form);
    ~TransportFocusKeeper();
    TransportFocusKeeper(const TransportFocusKeeper&) = delete;
    TransportFocusKeeper& operator=(const TransportFocusKeeper&) = delete;

private:
    bool isTransport(const QWidget* widget) const;
    QWidget& shownButton() const;

    Form1& m_form;
    const bool m_keeps;
};
