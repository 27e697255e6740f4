// What a piece of a framed request's work ends in: done, a value, or the failure that
// stopped it, with the error code and message its reply's error record will carry (the
// codes are in records.h). Failures travel back as values; the request table's
// dispatcher is the one place that turns them into error records.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

struct Failure {
    const char* code;
    std::string message;
};

// Done, or the failure that stopped the work.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

// A value, or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] Expected {
public:
    Expected(const T& value) : v_(value) {}
    Expected(T&& value) : v_(std::move(value)) {}
    Expected(Failure failure) : v_(std::move(failure)) {}

    explicit operator bool() const { return v_.index() == 0; }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    const Failure& failure() const { return std::get<1>(v_); }

private:
    std::variant<T, Failure> v_;
};
