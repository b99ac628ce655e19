#include "core/list/CompactRows.h"

#include <cstring>
#include <limits>

#include "core/list/CellCodes.h"

namespace zandel {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{256} * 1024;

enum AddressKind : std::uint8_t { kNoAddress = 0, kIpv4Address = 1, kStoredAddress = 2 };
constexpr std::uint8_t kAddressMask = 0x03;
constexpr int kHttpsShift = 2;
constexpr std::uint8_t kHttpsMask = 0x07 << kHttpsShift;

// Result and HTTPS texts by their code; what is not here is kept as text.
constexpr std::uint8_t kSpilled = 0xFF;
constexpr std::string_view kResults[] = {"",
                                         kUncheckedResult,
                                         "NG",
                                         "OK",
                                         "Anonymous(A)",
                                         "Anonymous(B)",
                                         "Non-Anonymous",
                                         kCheckingText,
                                         kTamperedResult,
                                         kUnstableResult};
constexpr std::string_view kHttpsCells[] = {"", kHttpsUnchecked, kHttpsOk, kHttpsNg, kHttpsMitm};

template <std::size_t N> int CodeOf(const std::string_view (&texts)[N], std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == texts[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

CompactRows::CompactRows() = default;
CompactRows::~CompactRows() = default;

void CompactRows::Insert(int index, std::string_view address, int image, int tag) {
    Record record;
    SetAddress(record, address);
    record.time = kEmptyCode;
    record.date = kEmptyCode;
    record.image = image;
    record.tag = tag;
    m_records.insert(m_records.begin() + index, record);
}

void CompactRows::Remove(int index) {
    FreeSpill(m_records[Index(index)]);
    m_records.erase(m_records.begin() + index);
    if (m_records.empty()) {
        Clear();
    }
}

void CompactRows::RemoveRows(const std::vector<int>& rows) {
    std::size_t next = 0;
    std::size_t kept = 0;
    for (std::size_t row = 0; row < m_records.size(); ++row) {
        if (next < rows.size() && Index(rows[next]) == row) {
            FreeSpill(m_records[row]);
            ++next;
            continue;
        }
        m_records[kept++] = m_records[row];
    }
    m_records.resize(kept);
    if (m_records.empty()) {
        Clear();
    }
}

void CompactRows::Reorder(const std::vector<int>& order) {
    std::deque<Record> reordered;
    for (int from : order) {
        reordered.push_back(m_records[Index(from)]);
    }
    m_records.swap(reordered);
}

void CompactRows::Clear() {
    m_records.clear();
    m_blocks.clear();
    m_used = 0;
    m_spills.clear();
    m_freeSpills.clear();
}

void CompactRows::SetSelected(int row, bool selected) {
    Record& record = m_records[Index(row)];
    record.bits = static_cast<std::uint8_t>(selected ? record.bits | kSelectedBit : record.bits & ~kSelectedBit);
}

std::string CompactRows::Cell(int row, int column) const {
    const Record& record = m_records[Index(row)];
    return column == 0 ? Address(record) : ResultCell(record, column);
}

void CompactRows::SetCell(int row, int column, std::string_view text) {
    Record& record = m_records[Index(row)];
    if (column == 0) {
        SetAddress(record, text);
        return;
    }
    if (record.result == kSpilled) {
        SpilledCells& cells = m_spills[record.time];
        cells[static_cast<std::size_t>(column - 1)] = text;
        // Back to codes as soon as every cell has one again (a row that was being checked has its result).
        Record coded = record;
        for (int c = 1; c < kColumnCount; ++c) {
            if (!Encode(coded, c, cells[static_cast<std::size_t>(c - 1)])) {
                return;
            }
        }
        FreeSpill(record);
        record = coded;
        return;
    }
    if (!Encode(record, column, text)) {
        SpillRow(record);
        m_spills[record.time][static_cast<std::size_t>(column - 1)] = text;
    }
}

std::string CompactRows::ResultCell(const Record& record, int column) const {
    if (record.result == kSpilled) {
        return m_spills[record.time][static_cast<std::size_t>(column - 1)];
    }
    switch (column) {
    case 1:
        return std::string(kResults[record.result]);
    case 2:
        return CodedText(record.time, kUncheckedTime, TimeText);
    case 3:
        return CodedText(record.date, kUncheckedDate, DateText);
    default:
        return std::string(kHttpsCells[(record.bits & kHttpsMask) >> kHttpsShift]);
    }
}

bool CompactRows::Encode(Record& record, int column, std::string_view text) {
    switch (column) {
    case 1: {
        const int code = CodeOf(kResults, text);
        if (code >= 0) {
            record.result = static_cast<std::uint8_t>(code);
        }
        return code >= 0;
    }
    case 2:
        return EncodeTime(text, record.time);
    case 3:
        // Rows checked in the same second share the date cell: its code is worked out once.
        if (text != m_lastDateText || text.empty()) {
            if (!EncodeDate(text, m_lastDateCode)) {
                return false;
            }
            m_lastDateText = text;
        }
        record.date = m_lastDateCode;
        return true;
    default: {
        const int code = CodeOf(kHttpsCells, text);
        if (code >= 0) {
            record.bits = static_cast<std::uint8_t>((record.bits & ~kHttpsMask) | (code << kHttpsShift));
        }
        return code >= 0;
    }
    }
}

void CompactRows::SpillRow(Record& record) {
    SpilledCells cells;
    for (int c = 1; c < kColumnCount; ++c) {
        cells[static_cast<std::size_t>(c - 1)] = ResultCell(record, c);
    }
    std::uint32_t slot = 0;
    if (!m_freeSpills.empty()) {
        slot = m_freeSpills.back();
        m_freeSpills.pop_back();
        m_spills[slot] = std::move(cells);
    } else {
        slot = static_cast<std::uint32_t>(m_spills.size());
        m_spills.push_back(std::move(cells));
    }
    record.result = kSpilled;
    record.time = slot;
}

void CompactRows::FreeSpill(const Record& record) {
    if (record.result == kSpilled) {
        m_freeSpills.push_back(record.time);
    }
}

std::string CompactRows::Address(const Record& record) const {
    switch (record.bits & kAddressMask) {
    case kIpv4Address:
        return Ipv4Text(record.address, record.addressTail).Text();
    case kStoredAddress:
        return std::string(m_blocks[record.address / kBlockBytes].get() + record.address % kBlockBytes,
                           record.addressTail);
    default:
        return {};
    }
}

void CompactRows::SetAddress(Record& record, std::string_view text) {
    const auto kind = static_cast<AddressKind>(record.bits & kAddressMask);
    std::uint32_t address = 0;
    std::uint16_t tail = 0;
    AddressKind newKind = kNoAddress;
    if (text.empty()) {
    } else if (EncodeIpv4(text, address, tail)) {
        newKind = kIpv4Address;
    } else if (kind == kStoredAddress && text.size() <= record.addressTail) {
        // Rewritten where it stands: a check writes the address back as it read it.
        std::memcpy(m_blocks[record.address / kBlockBytes].get() + record.address % kBlockBytes, text.data(),
                    text.size());
        address = record.address;
        tail = static_cast<std::uint16_t>(text.size());
        newKind = kStoredAddress;
    } else {
        address = Store(text);
        tail = static_cast<std::uint16_t>(text.size());
        newKind = kStoredAddress;
    }
    record.address = address;
    record.addressTail = tail;
    record.bits = static_cast<std::uint8_t>((record.bits & ~kAddressMask) | newKind);
}

// Addresses are at most kMaxAddressCell bytes and never cross a block.
std::uint32_t CompactRows::Store(std::string_view bytes) {
    std::uint64_t at = m_used;
    if (at % kBlockBytes + bytes.size() > kBlockBytes) {
        at += kBlockBytes - at % kBlockBytes;
    }
    if (at + bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        CompactBlocks();
        return Store(bytes);
    }
    while (m_blocks.size() * kBlockBytes < at + bytes.size()) {
        m_blocks.push_back(std::make_unique<char[]>(kBlockBytes));
    }
    std::memcpy(m_blocks[at / kBlockBytes].get() + at % kBlockBytes, bytes.data(), bytes.size());
    m_used = at + bytes.size();
    return static_cast<std::uint32_t>(at);
}

// Drops the holes that rewritten and removed addresses left, once they fill the blocks' whole range.
void CompactRows::CompactBlocks() {
    std::vector<std::string> kept;
    for (const Record& record : m_records) {
        if ((record.bits & kAddressMask) == kStoredAddress) {
            kept.push_back(Address(record));
        }
    }
    m_blocks.clear();
    m_used = 0;
    std::size_t next = 0;
    for (Record& record : m_records) {
        if ((record.bits & kAddressMask) == kStoredAddress) {
            record.address = Store(kept[next++]);
        }
    }
}

} // namespace zandel
