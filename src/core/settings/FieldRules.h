#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zandel {

// The dialog texts a field check answers with.
inline constexpr const char* kNotAnIntegerMessage = "整数を入力してください。";
inline constexpr const char* kIntRangeMessage = "%1 から %2 までの整数を入力してください。";
inline constexpr const char* kTextLimitMessage = "%1 文字以内で入力してください。";

// "%1 から %2 までの整数を入力してください。" with both bounds filled in.
std::string IntRangeMessage(int lowest, int highest);
// "%1 文字以内で入力してください。" with the limit filled in.
std::string TextLimitMessage(std::size_t limit);

// An optionally signed decimal number with nothing but spaces or tabs around it. Empty text is no integer.
// A number too large for an int is held at the nearest bound, so that a range check still refuses it.
std::optional<int> ParseDialogInt(std::string_view text);

// The outcome of checking one field: no message means the value was taken.
struct FieldCheck {
    bool ok = true;
    std::string message;
};

FieldCheck CheckIntField(std::string_view text, int lowest, int highest, int& value);
// Limits count bytes of the stored text, so a character stored in several bytes counts several times.
FieldCheck CheckTextField(std::string_view text, std::size_t limit);

// One press of the spin button: the box's value (or `fallback` when it holds no integer) moved by `delta` and
// kept within the range.
int SpinStep(std::string_view text, int fallback, int delta, int lowest, int highest);

} // namespace zandel
