// What the jobs share, whichever front-end runs them: the sink their lines
// go to, the answers to their questions as values, and what a job that
// writes files did. A job is a function of its request; it reads no global
// state and says everything through its sink, on its own thread, so that
// the console's front-end, command mode and tests alike decide where the
// lines go.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace quarnel {

// Where a job's lines go, one call per line (without its line end).
using LineSink = std::function<void(std::string_view line)>;

// An answer to one of a job's questions: a value given beforehand (command
// mode, tests), or one asked when the job comes to the question (an
// interactive start, where a question follows the lines the job printed
// before it). Either way the job sees a value.
template <typename T>
class Answer {
public:
    Answer(T value = T{}) : value_(std::move(value)) {}  // NOLINT: a plain value is an answer
    static Answer asked(std::function<T()> ask) {
        Answer answer;
        answer.ask_ = std::move(ask);
        return answer;
    }
    T take() const { return ask_ ? ask_() : value_; }

private:
    T value_{};
    std::function<T()> ask_;
};

// What a job that writes files did: whether all of it succeeded, how many
// files it wrote and where they went.
struct JobOutcome {
    bool ok = true;
    std::uint32_t written = 0;        // pictures, items or reports written
    std::string output;               // the folder or file written to
    std::uint32_t failed_writes = 0;  // files that could not be written
    std::string first_failure;        // the first of them and why, in plain words

    // A file that could not be written: counted, and the first one named.
    void write_failed(std::string_view path, std::string_view reason) {
        ok = false;
        ++failed_writes;
        if (first_failure.empty()) first_failure = "cannot write " + std::string(path) + ": " + std::string(reason);
    }
};

}  // namespace quarnel
