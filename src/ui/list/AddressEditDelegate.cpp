#include "ui/list/AddressEditDelegate.h"

#include <utility>

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextDocument>
#include <QToolTip>

#include "core/list/ProxyRow.h"
#include "core/util/Text.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

AddressEditDelegate::AddressEditDelegate(Handlers handlers, QObject* parent)
    : QStyledItemDelegate(parent), m_handlers(std::move(handlers)) {}

QLineEdit* AddressEditDelegate::EditBox() const {
    return m_editor.data();
}

void AddressEditDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem shown(option);
    if (option.widget != nullptr && !option.widget->hasFocus() && m_editor == nullptr) {
        shown.state &= ~QStyle::State_Active;
    }
    QStyledItemDelegate::paint(painter, shown, index);
}

QWidget* AddressEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    if (index.column() != 0) {
        return nullptr;
    }
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("addressEdit"));
    editor->setFrame(false);
    editor->setMaxLength(static_cast<int>(kMaxAddressCell));
    // Readable on the list's dark blue whatever the style sheet of the list says.
    editor->setStyleSheet(QStringLiteral("QLineEdit { color: black; background: white; }"));
    (void)option;
    m_editor = editor;
    return editor;
}

void AddressEditDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    (void)model;
    const auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    if (lineEdit == nullptr || index.column() != 0 || !m_handlers.commit) {
        return;
    }
    const QString text = lineEdit->text();
    // An emptied edit keeps the old address; no trimming, no check of the form.
    if (text.isEmpty()) {
        return;
    }
    m_handlers.commit(index.row(), FromBytes(CutAtCharBoundary(ToBytes(text), kMaxAddressCell)));
}

// The box goes later; from now on there is no edit in progress.
void AddressEditDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == m_editor) {
        m_editor = nullptr;
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool AddressEditDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    // A cell with a reason of its own (why the check graded the row so) shows it, whatever the width.
    const QString reason = index.data(Qt::ToolTipRole).toString();
    const QString text = reason.isEmpty() ? index.data(Qt::DisplayRole).toString() : reason;
    if (!index.isValid() || text.isEmpty() ||
        (reason.isEmpty() && sizeHint(option, index).width() <= option.rect.width())) {
        QToolTip::hideText();
        return true;
    }
    // A tip that looks like markup would be drawn as such: a list file's text is shown as it stands.
    const QString tip = Qt::mightBeRichText(text)
                            ? QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped())
                            : text;
    QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    return true;
}

bool AddressEditDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste) && m_handlers.paste) {
            m_handlers.paste();
            return true;
        }
        if (key->matches(QKeySequence::Copy) && m_handlers.copy) {
            m_handlers.copy();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace zandel::ui
