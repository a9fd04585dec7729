#pragma once
// Runs a coroutine to completion from a plain test body, spinning the event loop meanwhile.
// QCoro 0.8's waitFor never returns when the awaited task throws (its loop is never told to quit),
// so the task runs inside a wrapper that catches, finishes normally, and the error is rethrown here.

#include <QCoroTask>

#include <exception>
#include <optional>

namespace quorvel::testing {

namespace detail {
template <typename T> QCoro::Task<std::optional<T>> catching(QCoro::Task<T> task, std::exception_ptr* error)
{
    try {
        co_return co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    co_return std::nullopt;
}

inline QCoro::Task<bool> catchingVoid(QCoro::Task<> task, std::exception_ptr* error)
{
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    co_return true;
}
} // namespace detail

template <typename T> T await(QCoro::Task<T>&& task)
{
    std::exception_ptr error;
    std::optional<T> result = QCoro::waitFor(detail::catching(std::move(task), &error));
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

inline void await(QCoro::Task<>&& task)
{
    std::exception_ptr error;
    QCoro::waitFor(detail::catchingVoid(std::move(task), &error));
    if (error)
        std::rethrow_exception(error);
}

} // namespace quorvel::testing
