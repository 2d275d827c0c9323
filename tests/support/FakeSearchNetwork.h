#pragma once
#include "search/SearchNetwork.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace zelvo::test {

// A segment as the search sees it; a lookup of a `blocked` address waits until released.
class FakeSearchNetwork final : public SearchNetwork
{
public:
    std::set<uint32_t> answering;
    NeighbourRead neighbours;
    std::map<uint32_t, std::string> names;
    SocketProblem problem = SocketProblem::None;
    std::set<uint32_t> blocked, throwing; // lookups of `throwing` run out of memory
    std::function<void()> onRead;         // runs inside the table read

    template <typename F> auto Locked(F f)
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
        return f();
    }
    int EchoProbe(Ipv4Address address, int timeoutMs) override
    {
        return Locked([&] {
            echoed.push_back(address.nbo);
            events.push_back("echo " + address.Dotted() + " " + std::to_string(timeoutMs));
            return answering.count(address.nbo) ? 1 : 0;
        });
    }
    int BroadcastEcho() override
    {
        return Locked([&] { events.push_back("broadcast"); }), 1;
    }
    NeighbourRead ReadNeighbours() override
    {
        Locked([&] { events.push_back("read"); });
        if (onRead)
            onRead();
        return Locked([&] { return neighbours; });
    }
    std::optional<std::string> ReverseName(Ipv4Address address) override
    {
        std::unique_lock lock(m_mutex);
        looked.push_back(address.nbo);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return blocked.count(address.nbo) == 0; });
        if (throwing.count(address.nbo))
            throw std::bad_alloc();
        const auto it = names.find(address.nbo);
        return it == names.end() ? std::nullopt : std::optional(it->second);
    }
    SocketProblem IcmpProblem() const override { return problem; }

    bool WaitForLookup(Ipv4Address address)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::count(looked.begin(), looked.end(), address.nbo) > 0;
        });
    }

    std::vector<uint32_t> echoed;
    std::vector<uint32_t> looked;
    std::vector<std::string> events; // "echo A MS", "broadcast", "read"

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace zelvo::test
