// Work run on a thread of its own beside the caller's: the reader and the analysis give
// the second core what does not depend on the step the first one runs.
#pragma once

#include <exception>
#include <functional>
#include <thread>

// Runs work, if any, on a thread of its own, and waits for it however the caller's
// steps end; an exception it throws comes out of join().
class SecondThread {
public:
    explicit SecondThread(const std::function<void()>& work)
    {
        if (work) {
            thread_ = std::thread([this, work] {
                try {
                    work();
                } catch (...) {
                    failure_ = std::current_exception();
                }
            });
        }
    }
    SecondThread(const SecondThread&) = delete;
    SecondThread& operator=(const SecondThread&) = delete;
    ~SecondThread()
    {
        if (thread_.joinable())
            thread_.join();
    }

    // Whether there was work to wait for.
    bool join()
    {
        if (!thread_.joinable())
            return false;
        thread_.join();
        if (failure_)
            std::rethrow_exception(failure_);
        return true;
    }

private:
    std::thread thread_;
    std::exception_ptr failure_;
};
