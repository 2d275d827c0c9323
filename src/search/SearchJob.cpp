#include "search/SearchJob.h"

namespace zelvo {

SearchJob::SearchJob(std::shared_ptr<SearchNetwork> networkIn, std::shared_ptr<const Clock> clockIn,
                     const LastFoundList& lastFoundIn, const SearchTable& prepared)
    : network(std::move(networkIn)), clock(std::move(clockIn)), lastFound(lastFoundIn),
      m_table(std::make_unique<SearchTable>(prepared))
{
}

void SearchJob::Publish(const SearchTable& table)
{
    std::lock_guard lock(m_mutex);
    *m_table = table;
}

void SearchJob::PublishName(int slot, std::string_view name)
{
    std::lock_guard lock(m_mutex);
    m_table->SetName(slot, name);
}

void SearchJob::Snapshot(SearchTable& out) const
{
    std::lock_guard lock(m_mutex);
    out = *m_table;
}

std::shared_ptr<const Clock> SharedSystemClock()
{
    return std::shared_ptr<const Clock>(std::shared_ptr<const Clock>{}, &SystemClock());
}

} // namespace zelvo
