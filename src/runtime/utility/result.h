// The one way a service says that reading or writing failed: a Result holds
// either the value asked for or an Error, whose message says why in the
// program's own words. Services never print; the job's front-end shows
// what it is told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quarnel {

struct Error {
    enum class Kind : std::uint8_t {
        not_opened,  // the file could not be opened or made
        cut_short,   // it was opened, but its bytes did not all go in or out
        too_large,   // longer than a job reads whole (the message is a line of its own)
    };
    std::string message;
    Kind kind = Kind::not_opened;
};

template <typename T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}          // NOLINT: a value is a result
    Result(Error error) : error_(std::move(error)) {}      // NOLINT: so is an error
    bool ok() const noexcept { return value_.has_value(); }
    bool has_value() const noexcept { return ok(); }
    explicit operator bool() const noexcept { return ok(); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Why there is no value; an empty message when there is one.
    const Error& error() const noexcept { return error_; }

private:
    std::optional<T> value_;
    Error error_;
};

// What became of something done for its effect alone (a file written).
template <>
class Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: an error is a result
    bool ok() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return ok(); }
    const Error& error() const noexcept { return error_; }

private:
    Error error_;
    bool failed_ = false;
};

using Status = Result<void>;

}  // namespace quarnel
