#pragma once
#include "search/SearchNetwork.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace zelvo::test {

// A segment as the search sees it: the addresses that answer an echo, the neighbour
// table the kernel would show after it, and the names the lookups give. Records every
// echo and every name lookup (addresses, network order). Any thread.
class FakeSearchNetwork final : public SearchNetwork
{
public:
    std::set<uint32_t> answering;
    NeighbourRead neighbours;
    std::map<uint32_t, std::string> names;
    SocketProblem problem = SocketProblem::None;

    int EchoProbe(Ipv4Address address, int /*timeoutMs*/) override
    {
        std::lock_guard lock(m_mutex);
        echoed.push_back(address.nbo);
        return answering.count(address.nbo) ? 1 : 0;
    }
    int BroadcastEcho() override { return 1; }
    NeighbourRead ReadNeighbours() override
    {
        std::lock_guard lock(m_mutex);
        return neighbours;
    }
    std::optional<std::string> ReverseName(Ipv4Address address) override
    {
        std::lock_guard lock(m_mutex);
        looked.push_back(address.nbo);
        const auto it = names.find(address.nbo);
        return it == names.end() ? std::nullopt : std::optional(it->second);
    }
    SocketProblem IcmpProblem() const override { return problem; }

    std::vector<uint32_t> echoed;
    std::vector<uint32_t> looked;

private:
    std::mutex m_mutex;
};

} // namespace zelvo::test
