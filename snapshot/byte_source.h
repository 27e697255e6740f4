// Where the bytes of a heap dump come from: a file or a pipe read forward only (never a
// seek, so a FIFO the VM writes into and a file on disk are the same to the reader), a
// block of memory, or a gzip stream over any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to size bytes into buffer; 0 only at the end of the stream. Throws SourceError.
    virtual size_t read(uint8_t* buffer, size_t size) = 0;
    // Bytes taken from the file or pipe underneath so far (compressed bytes for gzip),
    // for progress against the file's size.
    virtual uint64_t consumed() const = 0;
};

// Reads a descriptor it does not own, forward only.
class FdSource : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    size_t read(uint8_t* buffer, size_t size) override;
    uint64_t consumed() const override { return consumed_; }

private:
    int fd_;
    uint64_t consumed_ = 0;
};

// Reads a file it opened and closes it at the end.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path);  // throws SourceError naming the path
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    size_t read(uint8_t* buffer, size_t size) override { return source_.read(buffer, size); }
    uint64_t consumed() const override { return source_.consumed(); }
    uint64_t fileSize() const { return size_; }

private:
    int fd_;
    FdSource source_;
    uint64_t size_ = 0;
};

// Bytes in memory, for tests and the fuzzer.
class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    size_t read(uint8_t* buffer, size_t size) override;
    uint64_t consumed() const override { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// The stream as the dump's reader wants it: gzip (HotSpot's -gz, a series of gzip
// members) is recognised by its magic bytes and inflated on the way, anything else is
// passed through. Reads at most two bytes ahead to decide.
std::unique_ptr<ByteSource> openDumpStream(std::unique_ptr<ByteSource> raw);
// A dump file by its path, plain or gzip. Throws SourceError if it cannot be opened.
std::unique_ptr<ByteSource> openDumpFile(const std::string& path, uint64_t* fileSize = nullptr);
