#include "transportfocus.h"

#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"

TransportFocusKeeper::TransportFocusKeeper(Form1& form)
    : m_form(form)
    , m_keeps(isTransport(form.focusWidget()))
{
    if (m_keeps) {
        form.focusWidget()->clearFocus();
    }
}

TransportFocusKeeper::~TransportFocusKeeper()
{
    if (m_keeps) {
        shownButton().setFocus(Qt::OtherFocusReason);
    }
}

bool TransportFocusKeeper::isTransport(const QWidget* widget) const
{
    return widget != nullptr && (widget == m_form.command2() || widget == m_form.command3());
}

QWidget& TransportFocusKeeper::shownButton() const
{
    if (!m_form.command3()->isHidden()) {
        return *m_form.command3();
    }
    if (!m_form.command2()->isHidden()) {
        return *m_form.command2();
    }
    return *m_form.file1(); // where the tab chain goes on from either button
}
