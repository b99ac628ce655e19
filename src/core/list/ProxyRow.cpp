#include "core/list/ProxyRow.h"

#include "core/util/Text.h"

namespace zandel {

namespace {

struct ResultReading {
    const char* result;
    ResultGrade grade;
    ProxyStatusImage image;
};

constexpr ResultReading kResults[] = {
    {"OK", ResultGrade::Ok, StatusAnonymous},
    {"Anonymous(A)", ResultGrade::AnonymousA, StatusAnonymous},
    {"Anonymous(B)", ResultGrade::AnonymousB, StatusAnonymous},
    {"Non-Anonymous", ResultGrade::NonAnonymous, StatusNonAnonymous},
    {"NG", ResultGrade::Ng, StatusNG},
    {kTamperedResult, ResultGrade::Tampered, StatusTampered},
    {kUnstableResult, ResultGrade::Unstable, StatusNG},
    {kUnstableResultCp932, ResultGrade::Unstable, StatusNG},
};

const ResultReading* ReadResult(std::string_view result) {
    for (const ResultReading& entry : kResults) {
        if (EqualsNoCase(result, entry.result)) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

ResultGrade GradeOfResult(std::string_view result) {
    const ResultReading* reading = ReadResult(result);
    return reading == nullptr ? ResultGrade::Unchecked : reading->grade;
}

bool IsLiveGrade(ResultGrade grade) {
    return grade == ResultGrade::Ok || grade == ResultGrade::AnonymousA || grade == ResultGrade::AnonymousB ||
           grade == ResultGrade::NonAnonymous;
}

bool IsNgGrade(ResultGrade grade) {
    return grade == ResultGrade::Ng || grade == ResultGrade::Tampered || grade == ResultGrade::Unstable;
}

ProxyStatusImage ImageForResult(const std::string& result) {
    const ResultReading* reading = ReadResult(result);
    return reading == nullptr ? StatusUnchecked : reading->image;
}

bool IsNgResult(std::string_view result) {
    return IsNgGrade(GradeOfResult(result));
}

std::string HttpsCellOrUnchecked(const std::string& text) {
    for (const char* known : {kHttpsOk, kHttpsNg, kHttpsMitm}) {
        if (text == known) {
            return text;
        }
    }
    return kHttpsUnchecked;
}

bool ResultWritesColumn(const ProxyRow& result, int column) {
    return column != kHttpsColumn || result.cells[kHttpsColumn] != kHttpsUnchecked;
}

} // namespace zandel
