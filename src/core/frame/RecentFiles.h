#pragma once

#include <string>
#include <vector>

namespace zandel {

// The File menu's recent files, newest first, as the file commands see them.
class IRecentFiles {
public:
    static constexpr int kSize = 4;

    virtual ~IRecentFiles() = default;
    virtual const std::vector<std::string>& Entries() const = 0;
    virtual void Remove(int index) = 0;
};

} // namespace zandel
