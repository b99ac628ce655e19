#pragma once

#include <mutex>
#include <string>

#include "core/list/RowStore.h"

namespace zandel::cli {

// The console tool's rows. The tool may give up on a run thread stuck in a name lookup and write the list
// while that thread lives on: Abandon puts back the result cell of the row that was being checked and
// makes every later change a no-op, so the list then holds only what was checked and stays still. Reads
// need no lock: during a run only the run thread changes rows, and after Abandon nothing does.
class ConsoleRows final : public MemoryRowStore {
public:
    void Abandon();

    void SetCellText(int row, int column, const std::string& text) override;
    void SetRowImage(int row, int image) override;
    void SetRowTag(int row, int tag) override;
    void SetRowSelected(int row, bool selected) override;
    void SetRow(int row, const ProxyRow& value) override;
    void SetRowResult(int row, const ProxyRow& value) override;

private:
    // A whole-row change calls the single-cell ones: it takes effect whole or not at all.
    std::recursive_mutex m_mutex;
    bool m_abandoned = false;
    int m_checkingRow = -1;
    std::string m_resultBefore;
};

} // namespace zandel::cli
