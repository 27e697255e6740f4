// The log file: every trace text written unchanged and flushed at once, so the file is
// complete on disk whenever the viewer stops.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

class LogFile {
public:
    // Creates or empties the file. When that fails the log goes on without it, and one
    // line on standard error says why.
    explicit LogFile(std::string path);

    bool isOpen() const { return file_ != nullptr; }
    void write(std::string_view text);
    void close();

private:
    void reportFailure(int error);

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
};
