#pragma once

#include <functional>

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;

namespace zandel::ui {

// Draws the rows and runs the in-place edit of a proxy address (column 0 only). An empty text or a cancelled edit
// leaves the old address; any other text is taken as it stands. Copy and paste keys in the edit box go to the list's
// own copy and paste, which work on the whole text.
class AddressEditDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void(int row, const QString& text)> commit;
        std::function<void()> copy;
        std::function<void()> paste;
    };

    AddressEditDelegate(Handlers handlers, QObject* parent);

    // The edit box of the edit in progress, or none.
    QLineEdit* EditBox() const;

    // The selection is drawn as inactive while neither the list nor its edit box has the focus.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    // The info tip: a cell too narrow for its text shows the whole of it.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handlers m_handlers;
    mutable QPointer<QLineEdit> m_editor;
};

} // namespace zandel::ui
