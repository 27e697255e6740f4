#include "log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("vorlan_log_" + std::to_string(::getpid()) + "_" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

TEST(LogFile, EachRunStartsEmptyAndWritesBytesUnchangedAtOnce)
{
    TempDir dir;
    const fs::path file = dir.path / "vllog.txt";
    {
        LogFile first(file.string());
        first.write("first run\r\n");
    }
    LogFile log(file.string());
    log.write("refresh\r\n");
    log.write("next \n");
    log.write("");
    EXPECT_EQ(contents(file), "refresh\r\nnext \n");  // flushed, though still open
}

TEST(LogFile, FileThatCannotBeCreatedIsReportedOnceAndSkipped)
{
    TempDir dir;
    const fs::path file = dir.path / "vllog.txt";
    fs::create_directory(file);  // a directory in the way

    ::testing::internal::CaptureStderr();
    LogFile log(file.string());
    log.write("refresh\r\n");
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(err, "cannot write log file " + file.string() + ": Is a directory\n");
}

}  // namespace
