#pragma once
#include "platform/NetAddress.h"

#include <array>
#include <cstdint>
#include <string>

namespace zelvo {

// What the system says about itself, in the shape the OS rules read. A Windows record
// carries the Windows platform id, versions and Service Pack text; the record that the
// Linux layer fills carries kPlatformLinux with the kernel's version numbers.
struct OsVersionRecord
{
    static constexpr uint32_t kPlatformWin32s = 0;
    static constexpr uint32_t kPlatformWindows = 1;    // Windows 95, 98, Me
    static constexpr uint32_t kPlatformWin32Nt = 2;    // Windows NT, 2000
    static constexpr uint32_t kPlatformLinux = 0x4c58; // "LX": filled on Linux

    uint32_t platformId = 0;
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;  // Linux: the kernel's third version number (patch level)
    char csdVersion[128] = {}; // Service Pack text; on Linux the distribution's name
                               // (PRETTY_NAME of os-release)
    char systemName[65] = {};  // Linux: uname sysname ("Linux")
    char release[65] = {};     // Linux: uname release ("6.1.0-18-amd64")
};

// The PC as the start-up survey found it. Members of the main window; the survey fills
// them on the UI thread before any worker starts.
struct HostInfo
{
    char pcName[64] = {};  // host name, upper case
    Ipv4Address pcAddress; // the PC's address, network order
    MacAddress pcMac = {}; // all zero when no interface gave one
    OsVersionRecord osVersion;
    int OsClass = 0; // -1 unsupported, otherwise 0 ... 3
    int tcpPresent = 0;
    int NetInfoAvailable = 0;
    int DhcpServerPresent = 0;
    std::string adapterName; // interface that carries the PC's address ("eth0")
    int adapterIndex = 0;    // its ifindex; 0 when the PC has no address
};

// The PC's address and subnet mask: process-wide copies that the search and the DHCP
// responder read on their threads.
// Written on the UI thread by the survey and the initialisation, before any worker
// that reads them starts.
struct PcSubnet
{
    Ipv4Address pcAddress;                      // the PC's address
    SubnetMask subnetMask = {255, 255, 255, 0}; // until the survey sets it
};
PcSubnet& ProcessPcSubnet();

} // namespace zelvo
