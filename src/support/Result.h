#pragma once
// Result<T, E>: the value of a fallible operation or the typed error that
// stopped it. Used for every expected failure in the code base; exceptions
// are reserved for broken invariants.

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace lanternwick {

template <typename E>
struct Failure {
    E error;
};

// Wraps an error so that it converts to any Result<T, E>, even when T and E
// could be confused (Result<std::string, std::string>).
template <typename E>
Failure<std::decay_t<E>> fail(E&& error) {
    return {std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    // Builds the value where it is kept, for values that are costly to move.
    template <typename... Args>
    explicit Result(std::in_place_t, Args&&... args) : state_(std::in_place_index<0>, std::forward<Args>(args)...) {}
    template <typename F>
    Result(Failure<F> failure) : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { assert(ok()); return std::get<0>(state_); }
    T& value() & { assert(ok()); return std::get<0>(state_); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(state_)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    const E& error() const { assert(!ok()); return std::get<1>(state_); }

    T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

    friend bool operator==(const Result&, const Result&) = default;

private:
    std::variant<T, E> state_;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    template <typename F>
    Result(Failure<F> failure) : error_(E(std::move(failure.error))), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const E& error() const { assert(failed_); return error_; }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace lanternwick
