#pragma once

#include <string>

#include <QString>

namespace zandel::ui {

// The one place where the core's byte texts meet Qt: bytes that are valid UTF-8 are UTF-8, any other bytes
// are Shift-JIS (files written by the Windows program). Text typed by the user is stored as UTF-8.
QString FromBytes(const std::string& bytes);
// Bytes known to be Shift-JIS, such as the cells of a list file that is not UTF-8 as a whole.
QString FromCp932(const std::string& bytes);
std::string ToBytes(const QString& text);

} // namespace zandel::ui
