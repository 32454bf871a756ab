#include "captionannouncer.h"

#include "accessibility.h"
#include "form1.h"
#include "formbehaviour.h"

#include <QAccessible>
#include <QEvent>

CaptionAnnouncer::CaptionAnnouncer(Form1& form)
    : QObject(&form)
    , m_form(form)
    , m_settled(form.windowTitle())
{
    m_settling.setSingleShot(true);
    m_settling.setInterval(0);
    connect(&m_settling, &QTimer::timeout, this, &CaptionAnnouncer::settle);
    form.installEventFilter(this);
}

bool CaptionAnnouncer::eventFilter(QObject* /*watched*/, QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange) {
        m_settling.start();
    }
    return false;
}

void CaptionAnnouncer::settle()
{
    const QString caption = m_form.windowTitle();
    if (caption == m_settled) {
        return;
    }
    m_settled = caption;
    if (caption == FormBehaviour::busyCaption()) {
        return;
    }
    m_form.announcer()->announce(caption);
    QAccessibleEvent renamed(&m_form, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
}
