#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/list/ProxyRow.h"

namespace zandel {

// The rows of a list in about 24 bytes each, so that a list of a million rows that zandel-check reads costs
// little more than its file. What the program itself writes is kept as a code: an IPv4 address and port as
// its numbers, a result as one of its texts, a response time as milliseconds, a check time as its date and
// time; a name or an IPv6 address goes into a shared block of bytes. A row holding any other text keeps its
// four result cells as they are, so that every cell reads back byte for byte what was written to it.
class CompactRows final {
public:
    CompactRows();
    ~CompactRows();
    CompactRows(const CompactRows&) = delete;
    CompactRows& operator=(const CompactRows&) = delete;
    CompactRows(CompactRows&&) = default;
    CompactRows& operator=(CompactRows&&) = default;

    int Count() const { return static_cast<int>(m_records.size()); }
    // A new row at `index` (0 to Count()), its result cells empty.
    void Insert(int index, std::string_view address, int image, int tag);
    void Remove(int index);
    // The given rows, in ascending order, in one pass: removing a hundred thousand rows one by one from the middle
    // would move the rest each time.
    void RemoveRows(const std::vector<int>& rows);
    // Row k becomes the row that was at order[k]; `order` holds each row once.
    void Reorder(const std::vector<int>& order);
    void Clear();

    // Rows and columns must be in range.
    std::string Cell(int row, int column) const;
    void SetCell(int row, int column, std::string_view text);
    int Image(int row) const { return m_records[Index(row)].image; }
    void SetImage(int row, int image) { m_records[Index(row)].image = image; }
    int Tag(int row) const { return m_records[Index(row)].tag; }
    void SetTag(int row, int tag) { m_records[Index(row)].tag = tag; }
    bool Selected(int row) const { return (m_records[Index(row)].bits & kSelectedBit) != 0; }
    void SetSelected(int row, bool selected);

private:
    static constexpr std::uint8_t kSelectedBit = 0x80;
    static constexpr int kResultColumns = kColumnCount - 1;

    struct Record {
        std::uint32_t address = 0;     // the IPv4 address, or where the address starts in the byte blocks
        std::uint16_t addressTail = 0; // the port, or the address's length
        std::uint8_t result = 0;       // a result code, or kSpilled
        std::uint8_t bits = 0;         // address kind (2 bits), HTTPS code (3 bits), selected
        std::uint32_t time = 0;        // the response time's code, or the spill slot of a spilled row
        std::uint32_t date = 0;        // the check time's code
        std::int32_t tag = 0;
        std::int32_t image = 0;
    };
    using SpilledCells = std::array<std::string, kResultColumns>;

    static std::size_t Index(int row) { return static_cast<std::size_t>(row); }
    std::string Address(const Record& record) const;
    void SetAddress(Record& record, std::string_view text);
    std::uint32_t Store(std::string_view bytes);
    void CompactBlocks();
    std::string ResultCell(const Record& record, int column) const;
    // Codes the cell into the record; false, the record unchanged, when the text has no code.
    bool Encode(Record& record, int column, std::string_view text);
    // The row's result cells become texts.
    void SpillRow(Record& record);
    void FreeSpill(const Record& record);

    std::deque<Record> m_records;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::uint64_t m_used = 0; // bytes taken in the blocks, holes of rewritten and removed addresses included
    std::vector<SpilledCells> m_spills;
    std::vector<std::uint32_t> m_freeSpills;
    std::string m_lastDateText; // the last date cell coded, and its code
    std::uint32_t m_lastDateCode = 0;
};

} // namespace zandel
