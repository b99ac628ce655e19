#pragma once

#include <QWidget>

#include "core/list/RowFilter.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace zandel::ui {

class ProxyListView;

// The bar over the list that filters its rows (表示 → ﾌｨﾙﾀﾊﾞｰ, Ctrl+F): part of the address, the result, the kind
// and, while the history columns show, the least uptime. Each change filters the list at once; closing the bar
// (Esc in it, the command again, its close button) shows every row, and opening it puts its filter back on.
class FilterBar final : public QWidget {
    Q_OBJECT
public:
    FilterBar(ProxyListView& view, bool historyColumns, QWidget* parent = nullptr);

    void Toggle();
    void Open();
    void Close();
    bool IsOpen() const { return !isHidden(); }
    // What the bar's fields say.
    RowFilter Filter() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowUptime(bool shown);
    void Changed();

    ProxyListView& m_view;
    QLineEdit* m_text = nullptr;
    QComboBox* m_result = nullptr;
    QComboBox* m_kind = nullptr;
    QLabel* m_uptimeLabel = nullptr;
    QSpinBox* m_uptime = nullptr;
};

} // namespace zandel::ui
