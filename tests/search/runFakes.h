#pragma once
// Fakes for the search's tests: a clock that moves only when told, the search's network
// with a scripted neighbour table, the window's controls and passes, a fresh log.
#include "app/DialogControls.h"
#include "app/LogWriter.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "search/IsUnitMac.h"
#include "search/SearchNetwork.h"
#include "ui/ProgressPasses.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace zelvo::testing {

class FakeClock final : public Clock
{
public:
    int64_t NowMs() const override { return 1'700'000'000'000 + m_ms.load(); }
    int64_t MonotonicMs() const override { return m_ms.load(); }
    void SleepMs(int ms) const override { m_ms.fetch_add(ms > 0 ? ms : 0); }
    void Advance(int ms) { m_ms.fetch_add(ms); }

private:
    mutable std::atomic<int64_t> m_ms{0};
};

inline Ipv4Address Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return Ipv4Address::FromOctets(a, b, c, d);
}
inline MacAddress UnitMac(uint8_t serial)
{
    return {kUnitMacPrefix[0], kUnitMacPrefix[1], kUnitMacPrefix[2], 0x42, 0x00, serial};
}
inline MacAddress ForeignMac(uint8_t serial)
{
    return {0x52, 0x54, 0x00, 0x12, 0x34, serial};
}

// Any thread. Lookups of a blocked address wait until released; with a parallel
// requirement every lookup waits (at most 10 s) until that many ran at the same time.
class FakeSearchNetwork final : public SearchNetwork
{
public:
    NeighbourRead table;
    std::map<uint32_t, std::string> names; // by address, network order

    template <typename F> decltype(auto) Locked(F f)
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
        return f();
    }

    int EchoProbe(Ipv4Address address, int timeoutMs) override
    {
        return Note("echo " + address.Dotted() + " " + std::to_string(timeoutMs)), 1;
    }
    int BroadcastEcho() override { return Note("broadcast"), 1; }
    NeighbourRead ReadNeighbours() override { return Note("read"), table; }
    std::optional<std::string> ReverseName(Ipv4Address address) override
    {
        std::unique_lock lock(m_mutex);
        m_lookups.push_back(address.nbo);
        ++m_running;
        m_parallelSeen = m_parallelSeen || m_running >= m_parallel;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_blocked.count(address.nbo) == 0; });
        if (m_parallel > 1)
            m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_parallelSeen; });
        --m_running;
        const auto it = names.find(address.nbo);
        return it == names.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

    void Block(Ipv4Address a)
    {
        Locked([&] { m_blocked.insert(a.nbo); });
    }
    void Release(Ipv4Address a)
    {
        Locked([&] { m_blocked.erase(a.nbo); });
    }
    void RequireParallel(int count)
    {
        Locked([&] { m_parallel = count; });
    }
    bool ParallelSeen()
    {
        return Locked([&] { return m_parallelSeen; });
    }
    std::vector<std::string> Events()
    {
        return Locked([&] { return m_events; });
    }
    bool WaitForLookup(Ipv4Address a)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::find(m_lookups.begin(), m_lookups.end(), a.nbo) != m_lookups.end();
        });
    }

private:
    void Note(std::string event)
    {
        Locked([&] { m_events.push_back(std::move(event)); });
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::vector<uint32_t> m_lookups;
    std::set<uint32_t> m_blocked;
    int m_running = 0;
    int m_parallel = 0;
    bool m_parallelSeen = false;
};

// UI thread.
class FakeControls final : public DialogControls
{
public:
    std::map<int, bool> enabled, checked;
    std::map<int, DeviceRecord> rows; // what the list shows
    int clears = 0;
    int selectionMark = -1;

    void EnableControl(int id, bool on) override { enabled[id] = on; }
    bool IsControlEnabled(int id) const override { return enabled.count(id) && enabled.at(id); }
    bool IsChecked(int id) const override { return checked.count(id) && checked.at(id); }
    void SetChecked(int id, bool on) override { checked[id] = on; }
    void ClearList() override { ++clears, rows.clear(); }
    void ShowRow(int row, const DeviceRecord& record) override { rows[row] = record; }
    void SetSelectionMark(int row) override { selectionMark = row; }
};

// Passes that take no time of their own: each yields briefly, then runs onPass.
class FakePasses final : public ProgressPasses
{
public:
    std::function<void()> onPass;
    int progressPasses = 0, searchPasses = 0, lastKind = -1;

    void RunProgressPass(int, int kind) override { ++progressPasses, lastKind = kind, Pass(); }
    void RunTimedPass(int, int) override { Pass(); }
    void RunSearchPass(int, int) override { ++searchPasses, Pass(); }
    void RunRetrievePass(int) override { Pass(); }

private:
    void Pass()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (onPass)
            onPass();
    }
};

// manager.log in a fresh temporary directory.
class TemporaryLog
{
public:
    TemporaryLog()
    {
        char pattern[] = "/tmp/zelvo-search-XXXXXX";
        m_dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        LogWriter::SetLogPath(m_dir + "/manager.log");
        LogWriter::CreateEmpty();
    }
    ~TemporaryLog()
    {
        ::unlink((m_dir + "/manager.log").c_str());
        ::rmdir(m_dir.c_str());
    }
    std::string Text() const { return ReadSmallFile(m_dir + "/manager.log", 1 << 20).value_or(""); }

private:
    std::string m_dir;
};

} // namespace zelvo::testing
