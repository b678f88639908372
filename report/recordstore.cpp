#include "recordstore.h"

#include <algorithm>
#include <cstring>

RecordStore::RecordStore() = default;

RecordStore::RecordStore(RecordStore&& other) noexcept
    : m_groups(std::move(other.m_groups)), m_cellChunks(std::move(other.m_cellChunks)),
      m_blocks(std::move(other.m_blocks)), m_cellCount(other.m_cellCount), m_textBytes(other.m_textBytes) {
    other.m_cellChunks.clear();
    other.m_blocks.clear();
    other.m_groups.clear();
    other.m_cellCount = other.m_textBytes = 0;
}

RecordStore& RecordStore::operator=(RecordStore&& other) noexcept {
    if (this != &other) {
        clear();
        m_groups = std::move(other.m_groups);
        m_cellChunks = std::move(other.m_cellChunks);
        m_blocks = std::move(other.m_blocks);
        m_cellCount = other.m_cellCount;
        m_textBytes = other.m_textBytes;
        other.m_cellChunks.clear();
        other.m_blocks.clear();
        other.m_groups.clear();
        other.m_cellCount = other.m_textBytes = 0;
    }
    return *this;
}

RecordStore::~RecordStore() {
    clear();
}

void RecordStore::clear() {
    for (Cell* c : m_cellChunks)
        delete[] c;
    for (Block& b : m_blocks)
        delete[] b.data;
    m_cellChunks.clear();
    m_blocks.clear();
    m_groups.clear();
    m_cellCount = m_textBytes = 0;
}

RecordStore RecordStore::takeGroup(int grp) {
    RecordStore out;
    out.m_groups.resize(1);
    out.m_groups[0].swap(m_groups[size_t(grp)]);
    out.m_cellChunks.swap(m_cellChunks);
    out.m_blocks.swap(m_blocks);
    out.m_cellCount = m_cellCount;
    out.m_textBytes = m_textBytes;
    m_cellCount = m_textBytes = 0;
    return out;
}

void RecordStore::appendGroup(int grp, const RecordStore& src, int srcGrp) {
    for (int r = 0; r < src.recordCount(srcGrp); ++r) {
        const int w = addRecord(grp);
        Cursor cur = src.cells(srcGrp, r);
        std::string_view cell;
        Exact e;
        while (cur.next(cell, e))
            appendExact(grp, w, cell, e.v, e.n);
    }
}

void RecordStore::resizeGroups(int n) {
    m_groups.resize(size_t(std::max(n, 0)));
}

int RecordStore::addRecord(int grp) {
    auto& g = m_groups[grp];
    g.emplace_back();
    return int(g.size()) - 1;
}

int RecordStore::addRecords(int grp, int n) {
    auto& g = m_groups[grp];
    g.resize(g.size() + size_t(std::max(n, 0)));
    return int(g.size());
}

char* RecordStore::allocText(size_t n, uint32_t& block, uint32_t& pos) {
    if (m_blocks.empty() || m_blocks.back().size - m_blocks.back().used < n) {
        // A text larger than a block gets a block of its own.
        Block b;
        b.size = uint32_t(std::max<size_t>(n, kBlockSize));
        b.data = new char[b.size];
        m_blocks.push_back(b);
    }
    Block& b = m_blocks.back();
    block = uint32_t(m_blocks.size() - 1);
    pos = b.used;
    b.used += uint32_t(n);
    return b.data + pos;
}

char* RecordStore::appendUninit(int grp, int rec, size_t n) {
    const uint32_t idx = uint32_t(m_cellCount);
    if ((idx & (kCellChunk - 1)) == 0 && (idx >> kCellShift) == m_cellChunks.size())
        m_cellChunks.push_back(new Cell[kCellChunk]);
    Cell& c = cellAt(idx);
    char* p = allocText(n, c.block, c.pos);
    c.len = uint32_t(n);
    c.next = kNone;
    Rec& r = m_groups[grp][rec];
    if (r.last == kNone)
        r.first = idx;
    else
        cellAt(r.last).next = idx;
    r.last = idx;
    ++r.count;
    ++m_cellCount;
    m_textBytes += n;
    return p;
}

void RecordStore::append(int grp, int rec, std::string_view text) {
    char* p = appendUninit(grp, rec, text.size());
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
}

void RecordStore::appendExact(int grp, int rec, std::string_view text, const double* exact, int n) {
    if (n <= 0 || !m_keepExact) return append(grp, rec, text);
    const size_t extra = sizeof(double) * size_t(n);
    char* p = appendUninit(grp, rec, text.size() + extra);
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    std::memcpy(p + text.size(), exact, extra);
    Cell& c = cellAt(uint32_t(m_cellCount - 1));
    c.len = uint32_t(text.size()) | uint32_t(n) << kExactShift;
}

std::string_view RecordStore::cell(int grp, int rec, int col) const {
    const Rec& r = m_groups[grp][rec];
    if (col < 0 || uint32_t(col) >= r.count) return {};
    uint32_t i = r.first;
    for (int k = 0; k < col; ++k)
        i = cellAt(i).next;
    const Cell& c = cellAt(i);
    return std::string_view(m_blocks[c.block].data + c.pos, c.len & kLenMask);
}

size_t RecordStore::totalRecords() const {
    size_t n = 0;
    for (const auto& g : m_groups)
        n += g.size();
    return n;
}

size_t RecordStore::allocatedBytes() const {
    size_t n = m_cellChunks.size() * sizeof(Cell) * kCellChunk;
    for (const Block& b : m_blocks)
        n += b.size;
    for (const auto& g : m_groups)
        n += g.capacity() * sizeof(Rec);
    n += m_groups.capacity() * sizeof(std::vector<Rec>) + m_cellChunks.capacity() * sizeof(Cell*) +
         m_blocks.capacity() * sizeof(Block);
    return n;
}
