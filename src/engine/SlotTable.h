#pragma once

#include <QtGlobal>

#include <vector>

namespace quilla {

// Slot numbers (1..) filed by a 32-bit hash of what they hold, in one flat
// array: a million people cost 16 MB and no allocation each. The table keeps no
// keys; the caller compares what two slots hold when their hashes meet.
class SlotTable
{
  public:
    void clear()
    {
        m_entries.clear();
        m_count = 0;
    }
    void reserve(size_t count)
    {
        size_t capacity = 16;
        while (capacity < 2 * count)
            capacity *= 2;
        if (capacity > m_entries.size())
            rehash(capacity);
    }
    // The slot with this hash that same(slot) accepts, or 0.
    template <typename Same> quint32 find(quint32 hash, Same &&same) const
    {
        if (m_entries.empty())
            return 0;
        const size_t mask = m_entries.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Entry &entry = m_entries[i];
            if (entry.slot == 0)
                return 0;
            if (entry.hash == hash && same(entry.slot))
                return entry.slot;
        }
    }
    // Files slot under hash; the caller has made sure no equal slot is filed.
    void insert(quint32 hash, quint32 slot)
    {
        if (2 * (m_count + 1) > m_entries.size())
            rehash(std::max<size_t>(16, 2 * m_entries.size()));
        const size_t mask = m_entries.size() - 1;
        size_t i = hash & mask;
        while (m_entries[i].slot != 0)
            i = (i + 1) & mask;
        m_entries[i] = {slot, hash};
        ++m_count;
    }

  private:
    struct Entry
    {
        quint32 slot = 0; // 0: free
        quint32 hash = 0;
    };
    void rehash(size_t capacity)
    {
        std::vector<Entry> old(capacity);
        old.swap(m_entries);
        m_count = 0;
        for (const Entry &entry : old)
            if (entry.slot != 0)
                insert(entry.hash, entry.slot);
    }

    std::vector<Entry> m_entries;
    size_t m_count = 0;
};

} // namespace quilla
