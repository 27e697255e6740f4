// The agent's port file: what it holds, and that writing it never touches a file it does
// not own and never follows a link planted at its path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "port_file.h"

namespace {

class PortFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorlan-port-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = port_file_path(dir, 4242);
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    static std::string contents(const std::string& file)
    {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir, path;
};

TEST(PortFileText, HoldsThePortAndTheStartTimeFromStat)
{
    EXPECT_EQ(port_file_path("/tmp", 4242), "/tmp/.vorlan_pid4242");
    EXPECT_EQ(port_file_text(40123, 987654), "port=40123\nstart=987654\n");
    // The command name may hold blanks and parentheses: fields count from the last ')'.
    const std::string stat =
        "4242 (my (odd) java) S 1 4242 4242 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 12 0 987654 123456 789";
    EXPECT_EQ(start_ticks_of_stat(stat), 987654u);
    EXPECT_EQ(start_ticks_of_stat("4242 (java) S 1 2 3"), 0u);
    EXPECT_EQ(start_ticks_of_stat("no parenthesis at all"), 0u);
}

TEST_F(PortFileTest, WrittenForItsUserOnlyAndRemoved)
{
    ASSERT_EQ(write_port_file(path, port_file_text(40123, 77)), "");
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(contents(path), "port=40123\nstart=77\n");
    remove_port_file(path);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(PortFileTest, AStaleFileOfItsOwnUserIsReplaced)
{
    { std::ofstream(path) << "port=1\nstart=1\n"; }
    ASSERT_EQ(write_port_file(path, port_file_text(40123, 77)), "");
    EXPECT_EQ(contents(path), "port=40123\nstart=77\n");
}

TEST_F(PortFileTest, ALinkAtItsPathIsReplacedNotFollowed)
{
    const std::string target = dir + "/target";
    { std::ofstream(target) << "precious\n"; }
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(write_port_file(path, port_file_text(40123, 77)), "");
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(contents(target), "precious\n");
}

TEST_F(PortFileTest, AnotherUsersFileIsLeftAlone)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    { std::ofstream(path) << "port=1\nstart=1\n"; }
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    const std::string why = write_port_file(path, port_file_text(40123, 77));
    EXPECT_NE(why.find("belongs to another user"), std::string::npos) << why;
    EXPECT_EQ(contents(path), "port=1\nstart=1\n");
    remove_port_file(path);
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
}

}  // namespace
