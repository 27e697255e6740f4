#include "dump_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "capture_error.h"

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw CaptureError(CaptureFailure::local, what);
}

std::string reason() { return std::strerror(errno); }

}  // namespace

DumpFile::DumpFile(const std::string& file, bool overwrite) : file_(file), overwrite_(overwrite)
{
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0) {
        if (!overwrite)
            fail(file + " exists (--force replaces it)");
        if (S_ISDIR(st.st_mode))
            fail(file + " is a directory");
    }
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (name.empty())
        fail("no file name in " + file);
    temporary_ = dir + "/." + name + ".vorlan-XXXXXX";
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);  // mode 0600
    if (fd_ < 0) {
        const std::string why = reason();
        temporary_.clear();
        fail("cannot write in " + dir + ": " + why);
    }
}

DumpFile::~DumpFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
}

void DumpFile::write(const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write " + file_ + ": " + reason());
        bytes += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
}

void DumpFile::commit()
{
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail("cannot write " + file_ + ": " + reason());
    if (overwrite_) {
        if (::rename(temporary_.c_str(), file_.c_str()) != 0)
            fail("cannot name the dump " + file_ + ": " + reason());
    } else if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, file_.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST)
            fail(file_ + " appeared while the dump was written (--force replaces it)");
        if (errno != EINVAL && errno != ENOSYS)
            fail("cannot name the dump " + file_ + ": " + reason());
        // A file system without RENAME_NOREPLACE: a hard link fails just as well on an
        // existing name.
        if (::link(temporary_.c_str(), file_.c_str()) != 0)
            fail(errno == EEXIST ? file_ + " appeared while the dump was written (--force replaces it)"
                                 : "cannot name the dump " + file_ + ": " + reason());
        ::unlink(temporary_.c_str());
    }
    temporary_.clear();
}
