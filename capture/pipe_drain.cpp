#include "pipe_drain.h"

#include <algorithm>
#include <cstring>

namespace {

// As much as a pipe holds at once on most systems.
constexpr size_t kChunkBytes = 1u << 20;

}  // namespace

PipeDrain::PipeDrain(ByteSource& source, CaptureCancel& stop, size_t limitBytes)
    : source_(source), stop_(stop), limit_(std::max(limitBytes, kChunkBytes))
{
    thread_ = std::thread([this] { drain(); });
}

PipeDrain::~PipeDrain()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A stream that ended needs no stop: the stop would also end the waits for the
        // VM's answer that follow.
        if (!ended_ && !error_)
            stop_.cancel();
        changed_.notify_all();
    }
    thread_.join();
}

void PipeDrain::drain()
{
    try {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return waiting_ + kChunkBytes <= limit_ || stop_.cancelled(); });
                if (stop_.cancelled())
                    return;
                if (!spare_.empty()) {
                    chunk = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            if (!chunk.bytes)
                chunk.bytes = std::make_unique<uint8_t[]>(kChunkBytes);
            chunk.size = source_.read(chunk.bytes.get(), kChunkBytes);
            std::lock_guard<std::mutex> lock(mutex_);
            if (chunk.size == 0) {
                ended_ = true;
                changed_.notify_all();
                return;
            }
            waiting_ += chunk.size;
            mostWaiting_ = std::max(mostWaiting_, waiting_);
            full_.push_back(std::move(chunk));
            changed_.notify_all();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
        changed_.notify_all();
    }
}

size_t PipeDrain::read(uint8_t* buffer, size_t size)
{
    const uint8_t* from = nullptr;
    size_t n = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || ended_ || error_; });
        if (full_.empty()) {
            if (error_)
                std::rethrow_exception(error_);
            return 0;
        }
        // Only this thread takes chunks off the front; the drain only adds at the back,
        // which leaves the front where it is.
        const Chunk& front = full_.front();
        from = front.bytes.get() + frontOffset_;
        n = std::min(size, front.size - frontOffset_);
    }
    std::memcpy(buffer, from, n);
    std::lock_guard<std::mutex> lock(mutex_);
    frontOffset_ += n;
    if (frontOffset_ == full_.front().size) {
        spare_.push_back(std::move(full_.front()));
        full_.pop_front();
        frontOffset_ = 0;
    }
    waiting_ -= n;
    consumed_ += n;
    changed_.notify_all();
    return n;
}

uint64_t PipeDrain::consumed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return consumed_;
}

size_t PipeDrain::mostWaiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mostWaiting_;
}

void PipeDrain::lowerLimit(size_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    limit_ = std::max(std::min(limit_, bytes), kChunkBytes);
    spare_.resize(std::min(spare_.size(), limit_ / kChunkBytes));
}
