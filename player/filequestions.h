#pragma once

#include "answerorder.h"
#include "folderworker.h"
#include "programerror.h"

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

/// A question's answer as it came back from the file system: its value or the error it met.
template <typename Answer> class Answered {
public:
    /// The answer; raises the error the question met instead (a ProgramError, as the query
    /// functions of folderquery.h raise it).
    const Answer& value() const
    {
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        return *m_value;
    }

    /// Runs @p question and keeps what it answers or raises.
    template <typename Question> void capture(Question& question) noexcept
    {
        try {
            m_value = question();
        } catch (...) {
            m_error = std::current_exception();
        }
    }

private:
    std::optional<Answer> m_value;
    std::exception_ptr m_error;
};

/**
 * The window's questions to the file system, asked without the window waiting on a share that
 * has stopped answering: each runs on a FolderWorker (folderworker.h), and its answer is
 * applied in the order of AnswerOrder.
 *
 * On a disk that answers, ask() has applied the answer before it returns, as a plain call would
 * have, and an error raised while applying it leaves ask(). Past the worker's bound, ask()
 * returns at once and the answer is applied when it comes, from the event loop, unless a newer
 * input has superseded its question by then; an error raised then goes to the application's
 * report. GUI thread only.
 */
class FileQuestions {
public:
    /// Late answers are applied from @p receiver's event loop while it lives.
    explicit FileQuestions(QObject& receiver)
        : m_worker(receiver)
    {
    }

    /**
     * Asks @p question, a function that reads @p path and returns an answer or raises, on a
     * worker thread (see the worker's rules for what it may touch), and calls
     * @p apply(const Answered<Answer>&) on this thread once it has answered and still counts.
     */
    template <typename Question, typename Apply>
    void ask(AnswerOrder::Question kind, const QString& path, Question question, Apply apply)
    {
        using Answer = std::invoke_result_t<Question&>;
        auto answered = std::make_shared<Answered<Answer>>();
        const AnswerOrder::Ticket ticket = m_order->ask(kind);
        const auto applyIfCurrent = [order = m_order, ticket, answered, apply] {
            if (order->take(ticket)) {
                apply(std::as_const(*answered));
            }
        };
        FolderWorker::Reply reply = m_worker.ask(
            path, [answered, question]() mutable { answered->capture(question); },
            [order = m_order, ticket] { return order->isCurrent(ticket); });
        if (reply.await(reportingErrors(applyIfCurrent))) {
            applyIfCurrent();
        }
    }

    /// An input that makes the pending question of @p kind pointless; true when there was one.
    bool supersede(AnswerOrder::Question kind) { return m_order->supersede(kind); }

private:
    std::shared_ptr<AnswerOrder> m_order = std::make_shared<AnswerOrder>();
    FolderWorker m_worker;
};
