#include "core/list/Registration.h"

#include <string>

#include "core/settings/AppSettings.h"
#include "core/util/MessageService.h"
#include "core/list/RowStore.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

const std::string kListFull = std::to_string(kListSlots) + "件登録しています\nこれ以上お気に入りに追加できません";
const std::string kListFilled = std::to_string(kListSlots) + "件以上登録されました\n" + std::to_string(kListSlots) +
                                "件以降のアドレスは無視されます";

// Each selected row from the top into the next free slot; a full list stops the rest with its message.
void RegisterSelected(AppSettings& settings, SettingsList list, const IRowStore& rows, IMessageService& messages) {
    if (rows.RowCount() == 0) {
        return;
    }
    for (int row : rows.SelectedRows(MaxListRows)) {
        const int slot = CountListEntries(settings, list);
        if (slot >= kListSlots) {
            ShowOk(messages, kListFilled);
            return;
        }
        SetListEntry(settings, list, CutBytes(rows.GetCellText(row, 0)), slot);
    }
}

} // namespace

void RegisterFavourites(AppSettings& settings, const IRowStore& rows, IMessageService& messages) {
    if (CountListEntries(settings, SettingsList::Favourites) >= kListSlots) {
        ShowOk(messages, kListFull);
        return;
    }
    RegisterSelected(settings, SettingsList::Favourites, rows, messages);
}

void RegisterChainProxies(AppSettings& settings, const IRowStore& rows, IMessageService& messages) {
    RegisterSelected(settings, SettingsList::ChainProxies, rows, messages);
}

} // namespace zandel
