#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "core/list/CheckRecord.h"

namespace zandel::test {

// One check as the history keeps it, made at `when`.
inline CheckRecord Check(const std::string& address, const std::string& result, std::optional<int> ms, std::time_t when,
                         const std::string& reason = "結果：使用可能なプロキシサーバです") {
    CheckRecord record;
    record.address = address;
    record.result = result;
    record.responseMs = ms;
    record.https = "---";
    record.checkedAt = IsoUtc(when);
    record.reason = reason;
    return record;
}

} // namespace zandel::test
