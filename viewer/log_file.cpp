#include "log_file.h"

#include <cerrno>
#include <cstring>

LogFile::LogFile(std::string path) : path_(std::move(path))
{
    file_.reset(std::fopen(path_.c_str(), "w"));
    if (!file_)
        reportFailure(errno);
}

void LogFile::write(std::string_view text)
{
    if (!file_ || text.empty())
        return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size() ||
        std::fflush(file_.get()) != 0) {
        const int error = errno;
        file_.reset();  // stop after the first failure rather than report every line
        reportFailure(error);
    }
}

void LogFile::close()
{
    file_.reset();
}

void LogFile::reportFailure(int error)
{
    std::fprintf(stderr, "cannot write log file %s: %s\n", path_.c_str(),
                 error ? std::strerror(error) : "write failed");
}
