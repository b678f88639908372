#pragma once
// The records of one report page: groups of records of cell texts. A large grid holds
// tens of millions of cells, so the texts live in one chunked byte arena per page and a
// cell costs 16 bytes of index on top of its text. Cells of a record are chained, so a
// builder may fill records in any order (row by row or column by column) and appending
// stays O(1).
#include "db/export.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class SCREPORT_CORE_EXPORT RecordStore {
  public:
    RecordStore();
    // Stores move; the cells of a group built apart are copied in with appendGroup.
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;
    RecordStore(RecordStore&&) noexcept;
    RecordStore& operator=(RecordStore&&) noexcept;
    ~RecordStore();

    // Groups.
    int groupCount() const { return int(m_groups.size()); }
    // New groups are empty; surplus groups are dropped with their records.
    void resizeGroups(int n);

    // Moves group grp out as the only group of a new store, with the whole arena: no
    // other group may hold records. The group stays, empty.
    RecordStore takeGroup(int grp);

    // Appends copies of the records of group srcGrp of `src` to group grp.
    void appendGroup(int grp, const RecordStore& src, int srcGrp);

    // Records of a group.
    int recordCount(int grp) const { return int(m_groups[grp].size()); }
    // Appends one empty record, returns its index.
    int addRecord(int grp);
    // Appends n empty records, returns the group's new record count.
    int addRecords(int grp, int n);

    // Cells of a record.
    void append(int grp, int rec, std::string_view text);
    // A number cell's text with the value(s) it was printed from (one, or a complex
    // cell's magnitude and angle), for writers that keep full precision.
    void appendExact(int grp, int rec, std::string_view text, const double* exact, int n);
    // Whether appendExact keeps the values: a run without an .xlsx has no use for them.
    void keepExact(bool keep) { m_keepExact = keep; }
    // Room for a cell of n bytes appended to the record; the caller fills it.
    char* appendUninit(int grp, int rec, size_t n);
    int cellCount(int grp, int rec) const { return int(m_groups[grp][rec].count); }
    // Cell col of the record; empty when the record holds fewer cells.
    std::string_view cell(int grp, int rec, int col) const;

    // Walks the cells of one record in order without copying them.
    struct Exact {
        int n = 0; // values held: 0, 1, or 2 for a complex cell
        double v[2] = {};
    };
    class Cursor {
      public:
        bool next(std::string_view& out) {
            if (m_cell == kNone) return false;
            const Cell& c = m_store->cellAt(m_cell);
            out = std::string_view(m_store->m_blocks[c.block].data + c.pos, c.len & kLenMask);
            m_cell = c.next;
            return true;
        }
        bool next(std::string_view& out, Exact& exact) {
            if (m_cell == kNone) return false;
            const Cell& c = m_store->cellAt(m_cell);
            const char* p = m_store->m_blocks[c.block].data + c.pos;
            out = std::string_view(p, c.len & kLenMask);
            exact.n = int(c.len >> kExactShift);
            if (exact.n) std::memcpy(exact.v, p + out.size(), sizeof(double) * size_t(exact.n));
            m_cell = c.next;
            return true;
        }

      private:
        friend class RecordStore;
        Cursor(const RecordStore* s, uint32_t first) : m_store(s), m_cell(first) {}
        const RecordStore* m_store;
        uint32_t m_cell;
    };
    Cursor cells(int grp, int rec) const { return Cursor(this, m_groups[grp][rec].first); }

    // Totals for the memory figures.
    size_t totalCells() const { return m_cellCount; }
    size_t totalRecords() const;
    size_t textBytes() const { return m_textBytes; }
    // Bytes allocated by the store (arena, cell index, record lists).
    size_t allocatedBytes() const;

  private:
    bool m_keepExact = true;
    static constexpr uint32_t kNone = 0xffffffffu;
    // A cell's len: the text's bytes, and in the top bits how many doubles follow it.
    static constexpr uint32_t kExactShift = 30;
    static constexpr uint32_t kLenMask = (1u << kExactShift) - 1;
    struct Cell {
        uint32_t block;
        uint32_t pos;
        uint32_t len;
        uint32_t next;
    };
    struct Rec {
        uint32_t first = kNone;
        uint32_t last = kNone;
        uint32_t count = 0;
    };
    struct Block {
        char* data = nullptr;
        uint32_t size = 0;
        uint32_t used = 0;
    };
    static constexpr uint32_t kCellShift = 16; // 65536 cells per index chunk
    static constexpr uint32_t kCellChunk = 1u << kCellShift;
    static constexpr uint32_t kBlockSize = 1u << 20; // 1 MiB of text per arena block

    const Cell& cellAt(uint32_t i) const { return m_cellChunks[i >> kCellShift][i & (kCellChunk - 1)]; }
    Cell& cellAt(uint32_t i) { return m_cellChunks[i >> kCellShift][i & (kCellChunk - 1)]; }
    char* allocText(size_t n, uint32_t& block, uint32_t& pos);
    void clear();

    std::vector<std::vector<Rec>> m_groups;
    std::vector<Cell*> m_cellChunks;
    std::vector<Block> m_blocks;
    size_t m_cellCount = 0;
    size_t m_textBytes = 0;
};
