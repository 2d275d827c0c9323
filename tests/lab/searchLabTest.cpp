// The unit search through the real main window in the lab's PC namespace.
#include "support/LabWindow.h"

namespace zelvo {
namespace {

using test::ManagerLog;
using Rows = std::vector<std::vector<std::string>>;

void ExpectLogHas(const std::string& log, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST(SearchLab, firstSearchListsExactlyTheNamedUnitsThatAnswer)
{
    ZELVO_REQUIRE_LAB();
    ASSERT_TRUE(test::ForgetNeighbours({}));
    test::LabWindow w;
    ASSERT_TRUE(w.Start());
    const Rows expected = {
        {"LABPC", "02-00-00-00-00-10", "10.231.7.10", "Your Host PC"},
        {"NAS01", "02-5a-e1-40-00-01", "10.231.7.21", "VELDIX [0]"},
        {"NAS02", "02-5a-e1-40-00-02", "10.231.7.22", "VELDIX [1]"},
        {"NAS03", "02-5a-e1-4f-00-03", "10.231.7.30", "VELDIX [2]"},
    };
    EXPECT_EQ(w.ListRows(), expected);
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_TRUE(w.Usable());
    ExpectLogHas(ManagerLog(),
                 {"\r\nGoing to find VELDIX first.\r\nLast count = 0 \r\n"
                  // Root in a namespace whose ping sockets are closed: the raw socket, said once.
                  " ICMP echo through a raw socket of this process (CAP_NET_RAW): no ping socket "
                  "for this account's groups (net.ipv4.ping_group_range is 1 0)\r\n"
                  ">>> Start to retrieve network table\r\n",
                  " : 010.231.007.025 - 02.11.22.33.44.55\r\n",
                  " : 010.231.007.026 - 02.5a.e1.40.00.09\r\n"});
    EXPECT_EQ(ManagerLog().find("010.231.007.027"), std::string::npos)
        << "the silent unit was seen";

    ASSERT_TRUE(w.Search());
    ExpectLogHas(w.LogSinceMark(),
                 {"\r\nGoing to find VELDIX again2.\r\n", "\r\nLast count = 3 \r\n"});
}

} // namespace
} // namespace zelvo
