#include "dhcp/CompleteAssignment.h"

#include "dhcp/AddressCheckWorker.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/WaitWithProgress.h"

#include <cstdio>
#include <optional>

namespace zelvo {

namespace {

int ElapsedSeconds(const Clock& clock, int64_t startMs)
{
    return static_cast<int>((clock.MonotonicMs() - startMs) / 1000);
}

// The name phase: one AddressCheckWorker after the other until one finds the name or the
// window is over. The deadline is looked at only when a worker has finished, so an
// attempt under way is never cut short: each worker's wait has no budget of its own.
std::optional<std::string> WaitForName(const CompletionServices& s, int windowSeconds,
                                       Ipv4Address address)
{
    const int64_t startMs = s.clock.MonotonicMs();
    int elapsed = 0;
    int secondsLeft = windowSeconds;
    while (true) {
        auto job = std::make_shared<AddressCheckJob>();
        job->address = address;
        job->elapsedSeconds = elapsed;
        job->result = 0;
        std::shared_ptr<UnitProbes> probes = s.probes;
        const FollowedWorker followed(s.passes, *job);
        WaitWithProgress(
            job,
            [probes](WorkerJob& worker) {
                if (probes)
                    AddressCheckWorker(static_cast<AddressCheckJob&>(worker), *probes);
            },
            kNoBudget,
            [&](int) {
                s.passes.RunRetrievePass(secondsLeft);
                secondsLeft = windowSeconds - ElapsedSeconds(s.clock, startMs);
            },
            s.clock);
        elapsed = ElapsedSeconds(s.clock, startMs);
        if (job->result == 1)
            return std::string(job->name);
        if (secondsLeft <= 0)
            return std::nullopt;
    }
}

// The row the unit goes to: its own row when a unit with this MAC is listed already,
// else the next list row; -1 when the list has no room for another unit.
int RowFor(const DeviceList& devices, const MacAddress& mac, bool& isNew)
{
    for (int k = 0; k < devices.UnitCount && k < DeviceList::kUnitRows; ++k) {
        const int row = devices.UnitRows[k];
        if (row > 0 && row < DeviceList::kRows && devices.rows[row].mac == mac) {
            isNew = false;
            return row;
        }
    }
    isNew = true;
    // The list shows row 0 and the units in order, so the next list row is UnitCount + 1;
    // after a search that counted nameless units the record count runs ahead of it, and a
    // record there would not match the row the user selects.
    const int row = devices.UnitCount + 1;
    if (devices.UnitCount >= DeviceList::kUnitRows || row >= DeviceList::kRows)
        return -1;
    return row;
}

void ListUnit(const CompletionServices& s, const std::string& name, Ipv4Address address,
              const MacAddress& mac)
{
    DeviceList& devices = s.state.devices;
    bool isNew = true;
    const int row = RowFor(devices, mac, isNew);
    if (row < 0) {
        LogWriter::Append("  The list holds no more units: the unit is not listed\r\n");
        return;
    }
    DeviceRecord& record = devices.rows[row];
    record.SetName(name.c_str());
    record.address = address;
    record.SetIpText(address.Dotted().c_str());
    record.mac = mac;
    record.SetMacText(MacDashText(mac).c_str());
    if (isNew) {
        char type[32];
        std::snprintf(type, sizeof type, "VELDIX [%d]", devices.UnitCount);
        record.SetTypeText(type);
        devices.UnitRows[devices.UnitCount] = row;
        ++devices.UnitCount;
        if (devices.RowCount < DeviceList::kRows)
            ++devices.RowCount;
    }
    s.state.UnitsFound = 1;
    s.front.ShowList(ListedRows(devices));
}

} // namespace

void CompleteAssignment(const CompletionServices& s, AssignmentForm form, int windowSeconds,
                        Ipv4Address address, const MacAddress& mac)
{
    const bool listen = form == AssignmentForm::Listen;
    LogWriter::Append(listen ? "\r\n Going to Get VELDIX Name.\r\n"
                             : "\r\nGoing to Get VELDIX Name.\r\n");
    const std::string name = WaitForName(s, windowSeconds, address).value_or("NO NAME");
    ListUnit(s, name, address, mac);

    const std::array<uint8_t, 4> o = address.Octets();
    char dotted[64];
    std::snprintf(dotted, sizeof dotted,
                  listen ? " : %03d. %03d. %03d. %03d.\n\n" : " : %03d. %03d. %03d. %03d.\n", o[0],
                  o[1], o[2], o[3]);
    const int language = s.state.language;
    s.boxes.Show(MessageCatalogue::Choose(language, 120, 121) + dotted +
                     MessageCatalogue::Choose(language, 134, 135),
                 MessageIcon::Question, MessageButtons::Ok);
    s.urls.Open("http://" + address.Dotted() + s.webToolPath);
}

} // namespace zelvo
