#pragma once

#include <QtGlobal>

#include <array>
#include <atomic>

/**
 * Which answers of the file system still count when they come.
 *
 * The window asks three kinds of question that may be answered late, after a share has kept
 * them waiting (filequestions.h): the folder the folder box names, the first-match lookup of the
 * file to play, and the list's refresh. Of each kind only the newest question counts. Asking
 * again supersedes the pending question of its kind, and an input that makes a question
 * pointless supersedes it without asking anew: a folder edit, Space or a transport button a
 * lookup, a list that moved a refresh. An answer counts when its question is still the pending
 * one of its kind; an answer that comes after a newer question of its kind, or after its
 * question was superseded, is dropped. So answers may arrive in any order, and the last input
 * wins.
 *
 * A plain rule, with no thread of its own: ask(), supersede() and take() belong to one thread
 * (the GUI thread); isCurrent() may be called from any thread.
 */
class AnswerOrder {
public:
    enum class Question { Folder, Lookup, Refresh };
    struct Ticket {
        Question question;
        quint64 serial;
    };

    /// A new question of this kind; the one pending before no longer counts.
    Ticket ask(Question question);
    /// The pending question of this kind no longer counts; true when there was one.
    bool supersede(Question question);
    /// Is @p ticket the pending question of its kind, whose answer would count if it came now?
    bool isCurrent(Ticket ticket) const;
    /// The answer to @p ticket has come: true when it counts. Its question is not pending after.
    bool take(Ticket ticket);

private:
    std::atomic<quint64>& pending(Question question) { return m_pending[size_t(question)]; }

    quint64 m_lastSerial = 0;
    std::array<std::atomic<quint64>, 3> m_pending{}; ///< serial of each kind's pending question, 0: none
};
