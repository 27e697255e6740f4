// A heap dump file written whole or not at all: the bytes go to a hidden temporary file
// beside it (mode 0600), which takes the file's name only when complete. An existing file
// is replaced only when asked; a link at the name is never followed (it is refused, or
// replaced itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class DumpFile {
public:
    // Throws CaptureError (local) when file exists and !overwrite, or the temporary file
    // cannot be made.
    DumpFile(const std::string& file, bool overwrite);
    ~DumpFile();  // removes the temporary file unless committed
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    const std::string& temporaryPath() const { return temporary_; }
    void write(const uint8_t* bytes, size_t size);  // throws CaptureError
    // Gives the file its name. Throws CaptureError when file appeared meanwhile and
    // !overwrite, or the rename fails.
    void commit();
    uint64_t bytes() const { return written_; }

private:
    std::string file_;
    std::string temporary_;
    bool overwrite_;
    int fd_ = -1;
    uint64_t written_ = 0;
};
