#pragma once

#include <array>
#include <string>

namespace zandel {

// Index into the list's four status images.
enum ProxyStatusImage : int {
    StatusAnonymous = 0,    // green ball
    StatusNonAnonymous = 1, // light-blue ball
    StatusNG = 2,           // red ball
    StatusUnchecked = 3,    // grey ball
};

inline constexpr int MaxListRows = 1000;
inline constexpr int kColumnCount = 4;

// The texts of a row that has not been checked; also what stands in for an empty or missing cell.
inline constexpr const char* kUncheckedResult = "---";
inline constexpr const char* kUncheckedTime = "--:---";
inline constexpr const char* kUncheckedDate = "----/--/--(-:-:-)";
// The address of a row the user inserts.
inline constexpr const char* kNewRowAddress = "0.0.0.0:0";

// One row of the proxy list: address, result, response time, check time.
struct ProxyRow {
    std::array<std::string, kColumnCount> cells{"", kUncheckedResult, kUncheckedTime, kUncheckedDate};
    int image = StatusUnchecked;
    int tag = 0;
    // Per cell: the bytes came from a list file that is not UTF-8 as a whole, so they are CP932 text even
    // where they would also read as UTF-8.
    std::array<bool, kColumnCount> cp932{};
};

// Result text to status image, letter case ignored.
ProxyStatusImage ImageForResult(const std::string& result);

} // namespace zandel
