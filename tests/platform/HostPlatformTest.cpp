// What the host platform reads of this machine: its DHCP clients' state, commands' output,
// the device that holds a folder and who holds a UDP port, as text and for real; and the
// opener of pages on the desktop, whose URL reaches the program as one argument.
#include "platform/CapturedCommand.h"
#include "platform/PcDhcpClientState.h"
#include "platform/StorageDevice.h"
#include "platform/UdpPortHolder.h"
#include "platform/UrlOpener.h"
#include "support/FakeHostPlatform.h"
#include "support/LoopbackSocket.h"
#include "support/WaitUntil.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using test::Nbo;
using namespace std::string_literals;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(PcDhcpClientState, readsTheOptionsNetworkManagerAndNetworkdKnow)
{
    const std::vector<Ipv4Address> routers = {Ipv4Address{Nbo("10.231.7.1")},
                                              Ipv4Address{Nbo("10.231.7.2")}};
    for (const char* output :
         {"ip_address = 10.231.7.150 | routers = 10.231.7.1 bogus 300.1.1.1 10.231.7.2"
          " | subnet_mask = 255.255.255.0\n",
          "DHCP4.OPTION[1]:routers = 10.231.7.1 10.231.7.2\n"
          "DHCP4.OPTION[2]:subnet_mask = 255.255.255.0\n"}) {
        const DhcpClientReport r = ParseNmcliDhcp4(output);
        EXPECT_EQ(r.source, DhcpClientSource::NetworkManager) << output;
        EXPECT_TRUE(r.optionsKnown && r.maskText == "255.255.255.0" && r.routers == routers)
            << output;
    }
    for (const char* output : {"", "Error: Device 'eth9' not found.\n"})
        EXPECT_FALSE(ParseNmcliDhcp4(output).optionsKnown) << output;

    const DhcpClientReport lease = ParseNetworkdLease(
        "# private\nADDRESS=10.231.7.150\nNETMASK=255.0.0.0\nROUTER=10.231.7.1\n");
    EXPECT_EQ(lease.source, DhcpClientSource::Networkd);
    EXPECT_TRUE(lease.optionsKnown && lease.maskText == "255.0.0.0");
    EXPECT_EQ(lease.routers, std::vector<Ipv4Address>{routers[0]});
    EXPECT_FALSE(ParseNetworkdLease("ADDRESS=10.0.0.2\n").maskText.has_value());
}

TEST(PcDhcpClientState, recognisesTheClientProcessesAndTheInterfaceTheyServe)
{
    EXPECT_EQ(SplitCommandLine("udhcpc\0-i\0\0eth0\0"s), (Lines{"udhcpc", "-i", "", "eth0"}));
    const std::tuple<Lines, const char*, bool> cases[] = {
        {{"busybox", "udhcpc", "--interface", "eth1"}, "eth1", true},
        {{"udhcpc", "-ieth1"}, "eth1", true},
        {{"udhcpc", "-fqi", "eth2"}, "eth2", true},
        {{"udhcpc", "-f"}, "eth0", true}, // busybox's default interface
        {{"udhcpc", "-f"}, "eth1", false},
        {{"dhclient", "-pf", "/run/dhclient.eth0.pid", "eth1"}, "eth0", false},
        {{"/usr/sbin/dhcpcd", "-q", "enp3s0"}, "enp3s0", true},
        {{"dnsmasq", "--interface=eth0"}, "eth0", false},
        {{}, "eth0", false},
    };
    for (const auto& [args, interfaceName, expected] : cases)
        EXPECT_EQ(IsDhcpClientFor(args, interfaceName), expected)
            << ::testing::PrintToString(args) << " / " << interfaceName;
}

// This machine's own answers, read without sending anything.
TEST(LinuxHostPlatform, readsThisMachine)
{
    HostPlatform& platform = SystemHostPlatform();
    EXPECT_EQ(platform.ReadOsRelease().value_or(OsRelease{}).systemName, "Linux");
    EXPECT_TRUE(platform.TcpAvailable() && platform.NetworkInfoAvailable() && platform.HostName());
    const Outcome<HostNetworkState> read = platform.ReadNetworkState();
    ASSERT_TRUE(read.Ok()) << read.Code();
    const HostNetworkState& state = read.Value();
    const auto lo = std::find_if(state.interfaces.begin(), state.interfaces.end(),
                                 [](const HostInterface& l) { return l.loopback; });
    ASSERT_TRUE(lo != state.interfaces.end() && !lo->addresses.empty());
    EXPECT_EQ(lo->addresses[0].address.Dotted() + "/" +
                  std::to_string(lo->addresses[0].prefixLength),
              "127.0.0.1/8");
}

TEST(RunAndCapture, collectsCutsAndStopsCommands)
{
    const auto run = [](Lines argv, int timeoutMs, std::size_t maxBytes) {
        const auto out = RunAndCapture(argv, timeoutMs, maxBytes);
        return out ? out->standardOutput + std::to_string(out->exitStatus) : "not started";
    };
    EXPECT_EQ(run({"sh", "-c", "echo $LC_ALL; echo e >&2; exit 3"}, 5000, 100), "C\n3");
    EXPECT_EQ(run({"sh", "-c", "yes | head -c 100000"}, 5000, 10), "y\ny\ny\ny\ny\n0");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run({"sleep", "30"}, 200, 100), "-1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run({"zelvo-no-such-command"}, 1000, 100), "not started");
}

TEST(StorageDevice, classifiesByDeviceNotByPath)
{
    struct Case
    {
        BlockDeviceFacts facts;
        StorageKind kind;
    };
    const Case cases[] = {
        {{8, "sda", false, "0", ""}, StorageKind::Fixed},
        {{8, "sdb", true, "0", ""}, StorageKind::Removable},
        {{2, "fd0", true, "", ""}, StorageKind::Floppy},
        {{11, "sr0", true, "5", "5"}, StorageKind::Optical},
        {{8, "sdc", false, "5", ""}, StorageKind::Optical}, // a CD-ROM behind a USB bridge
        {{179, "mmcblk0", false, "SD", "SD"}, StorageKind::Removable},
        {{179, "mmcblk1", false, "MMC", "MMC"}, StorageKind::Fixed}, // soldered eMMC
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.facts.name);
        EXPECT_EQ(ClassifyBlockDevice(c.facts), c.kind);
    }
}

TEST(StorageDevice, mountPointIsTheLongestOneOfTheDeviceAboveThePath)
{
    const std::string mountinfo = "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                                  "30 22 8:17 / /media/u/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
                                  "31 22 8:17 /sub /mnt/bind rw - vfat /dev/sdb1 rw\n"
                                  "32 22 0:45 / /media/u/USB\\040STICK/tmp rw - tmpfs tmpfs rw\n"
                                  "33 22 8:1 / /media/u/USB rw - ext4 /dev/sda1 rw\n";
    EXPECT_EQ(MountPointOf(mountinfo, 8, 17, "/media/u/USB STICK/zelvo"), "/media/u/USB STICK");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 17, "/mnt/bind/zelvo"), "/mnt/bind");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 1, "/media/u/USBX"), "/");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 99, "/home"), "");
    EXPECT_EQ(MountPointOf("garbage\n\n1 2\n", 8, 1, "/"), "");
    // procfs has no block device behind it: fixed, and its mount point is still found.
    const StorageOfPath storage = ProbeStorageOfPath("/proc/self");
    EXPECT_EQ(std::pair(storage.kind, storage.mountPoint), std::pair(StorageKind::Fixed, "/proc"s));
}

// The sockets of a port, their program named, this process found behind its own socket.
TEST(UdpPortHolder, picksTheSocketsOfThePortAndNamesTheirProgram)
{
    const std::string table =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  101: 00000000:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 31337 2 0000000000000000 0\n"
        "  102: 0100007F:0044 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 4242 2 0000000000000000 0\n"
        "  103: 0A0000C0:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000   101        "
        "0 777 2 0000000000000000 0\n"
        "  104: garbage\n"
        "  105: 00000000:0043 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
        "0 0 2 0000000000000000 0\n";
    EXPECT_EQ(UdpSocketInodes(table, 67), (std::vector<uint64_t>{31337, 777}));
    EXPECT_TRUE(UdpSocketInodes("", 67).empty());

    EXPECT_EQ(DescribePortHolder("dnsmasq\n",
                                 "/usr/sbin/dnsmasq\0--conf-file=/var/lib/libvirt/dnsmasq/"
                                 "default.conf\0"s),
              "dnsmasq (libvirt)");
    EXPECT_EQ(DescribePortHolder("dnsmasq\n", "/usr/sbin/dnsmasq\0--conf-file=/var/run/"
                                              "NetworkManager/dnsmasq.conf\0"s),
              "dnsmasq (NetworkManager)");
    EXPECT_EQ(DescribePortHolder("dhcpd\n", "/usr/sbin/dhcpd\0-4\0"s), "dhcpd");
    EXPECT_EQ(DescribePortHolder("", ""), "?");

    uint16_t port = 0;
    UniqueFd socket = test::LoopbackSocket(SOCK_DGRAM, port);
    ASSERT_TRUE(socket.Valid());
    // The kernel keeps the first 15 bytes of the program's name.
    EXPECT_EQ(UdpPortHolder(port), std::optional<std::string>("platform_host_p"));
    socket.Reset();
    EXPECT_EQ(UdpPortHolder(port), std::nullopt);
}

// This thread's children, ended or not: a child never waited for stays listed.
std::string Children()
{
    const std::string self = std::to_string(gettid());
    std::ifstream file("/proc/self/task/" + self + "/children");
    EXPECT_TRUE(file.is_open());
    std::string pids;
    std::getline(file, pids);
    return pids;
}

// Children that have ended are reaped, also those of openers already gone.
TEST(UrlOpener, urlReachesTheProgramAsOneArgumentChildrenAreReapedAMissingProgramIsReported)
{
    const fs::path dir = fs::temp_directory_path() / ("zelvo-opener-" + std::to_string(getpid()));
    for (const char* name : {"a b;c", "x$(touch pwned)y", "q'u\"o&te", "p|w`touch pwned`"}) {
        fs::remove_all(dir);
        ASSERT_TRUE(fs::create_directory(dir));
        SpawnUrlOpener opener("touch");
        ASSERT_TRUE(opener.Open((dir / name).string()));
        EXPECT_TRUE(test::Eventually([&] { return fs::exists(dir / name); })) << name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Only the one file: nothing was split or run.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << name;
        EXPECT_FALSE(fs::exists("pwned"));
    }
    fs::remove_all(dir);
    ASSERT_TRUE(SpawnUrlOpener("sleep").Open("0.3"));
    EXPECT_FALSE(Children().empty()); // the sleeper at least is listed
    EXPECT_TRUE(test::Eventually([] { return Children().empty(); })) << Children();
    EXPECT_FALSE(SpawnUrlOpener("/nonexistent/zelvo-opener").Open("file:///tmp/x.html"));
}

} // namespace
} // namespace zelvo
