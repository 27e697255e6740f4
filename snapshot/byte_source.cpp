#include "byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "gzip_source.h"
#include "hprof_error.h"

size_t FdSource::read(uint8_t* buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            consumed_ += static_cast<uint64_t>(n);
            return static_cast<size_t>(n);
        }
        if (errno != EINTR)
            throw SourceError(std::string("cannot read the dump: ") + std::strerror(errno));
    }
}

FileSource::FileSource(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), source_(fd_)
{
    if (fd_ < 0)
        throw SourceError("cannot open " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
        size_ = static_cast<uint64_t>(st.st_size);
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

size_t MemorySource::read(uint8_t* buffer, size_t size)
{
    const size_t n = std::min(size, size_ - position_);
    if (n > 0)
        std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

namespace {

// Gives back the bytes read ahead to recognise the format, then the rest of the stream.
class PrefixedSource : public ByteSource {
public:
    PrefixedSource(std::vector<uint8_t> prefix, std::unique_ptr<ByteSource> rest)
        : prefix_(std::move(prefix)), rest_(std::move(rest))
    {
    }
    size_t read(uint8_t* buffer, size_t size) override
    {
        if (next_ < prefix_.size()) {
            const size_t n = std::min(size, prefix_.size() - next_);
            std::memcpy(buffer, prefix_.data() + next_, n);
            next_ += n;
            return n;
        }
        return rest_->read(buffer, size);
    }
    uint64_t consumed() const override { return rest_->consumed(); }

private:
    std::vector<uint8_t> prefix_;
    size_t next_ = 0;
    std::unique_ptr<ByteSource> rest_;
};

}  // namespace

std::unique_ptr<ByteSource> openDumpStream(std::unique_ptr<ByteSource> raw)
{
    std::vector<uint8_t> prefix(2);
    size_t got = 0;
    while (got < prefix.size()) {
        const size_t n = raw->read(prefix.data() + got, prefix.size() - got);
        if (n == 0)
            break;
        got += n;
    }
    prefix.resize(got);
    const bool gzip = got == 2 && prefix[0] == 0x1f && prefix[1] == 0x8b;
    auto stream = std::make_unique<PrefixedSource>(std::move(prefix), std::move(raw));
    if (gzip)
        return std::make_unique<GzipSource>(std::move(stream));
    return stream;
}

std::unique_ptr<ByteSource> openDumpFile(const std::string& path, uint64_t* fileSize)
{
    auto file = std::make_unique<FileSource>(path);
    if (fileSize)
        *fileSize = file->fileSize();
    return openDumpStream(std::move(file));
}
