// The JNI local references a request makes stay within what its frames declare, however
// many rows it writes: with every JNI call checked, a long request leaves no warning.
#include <gtest/gtest.h>

#include "agent_connection.h"
#include "jvm_process.h"
#include "records.h"

namespace {

// Every stack frame of one thread holds an object of its own: each is a stack root
// with the frame's method, one row apiece.
TEST(CheckedJni, RootsOfADeepStackStayWithinTheRequestsFrame)
{
    const int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port);
    launch.main_class = "DeepStackTarget";
    launch.jvm_flags = {"-Xcheck:jni"};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port)) << jvm.err();

    AgentConnection c(port);
    c.send_raw("VRL1 roots\tlimit=100000\n");
    Reply r = c.read_reply();
    FramedReply roots;
    ASSERT_TRUE(readFramedReply(r.body, roots)) << r.body.substr(0, 300);
    ASSERT_TRUE(roots.status.ok) << roots.status.message;
    size_t deep = 0;
    for (const Record& row : roots.records)
        if (row.kind() == "root" && row.field(1) == "stack-local" && row.field(2) == "vorlan-deep" &&
            row.field(3) == "DeepStackTarget.descend")
            deep++;
    EXPECT_GE(deep, 400u);
    // The VM prints checked-JNI warnings on standard output.
    EXPECT_EQ(jvm.out().find("WARNING"), std::string::npos) << jvm.out().substr(0, 2000);
    EXPECT_EQ(jvm.err().find("WARNING"), std::string::npos) << jvm.err().substr(0, 2000);
}

}  // namespace
