#include "answerorder.h"

AnswerOrder::Ticket AnswerOrder::ask(Question question)
{
    const Ticket ticket{question, ++m_lastSerial};
    pending(question) = ticket.serial;
    return ticket;
}

bool AnswerOrder::supersede(Question question)
{
    return pending(question).exchange(0) != 0;
}

bool AnswerOrder::isCurrent(Ticket ticket) const
{
    return m_pending[size_t(ticket.question)] == ticket.serial;
}

bool AnswerOrder::take(Ticket ticket)
{
    quint64 expected = ticket.serial;
    return pending(ticket.question).compare_exchange_strong(expected, 0);
}
