#include "ui/list/FilterBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QSpinBox>
#include <QToolButton>

#include "ui/list/ProxyListView.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

struct ResultItem {
    const char* text;
    ResultChoice choice;
};
constexpr ResultItem kResults[] = {
    {"すべて", ResultChoice::All},
    {"使用可能", ResultChoice::Live},
    {"NG", ResultChoice::Ng},
    {"OK", ResultChoice::Ok},
    {"Anonymous(A)", ResultChoice::AnonymousA},
    {"Anonymous(B)", ResultChoice::AnonymousB},
    {"Non-Anonymous", ResultChoice::NonAnonymous},
    {"NG(Tampered)", ResultChoice::Tampered},
    {"未ﾁｪｯｸ", ResultChoice::Unchecked},
};

struct KindItem {
    const char* text;
    KindChoice choice;
};
constexpr KindItem kKinds[] = {
    {"すべて", KindChoice::All},
    {"http", KindChoice::Http},
    {"socks4", KindChoice::Socks4},
    {"socks5", KindChoice::Socks5},
};

QLabel* FieldLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setContentsMargins(6, 0, 2, 0);
    return label;
}

} // namespace

FilterBar::FilterBar(ProxyListView& view, bool historyColumns, QWidget* parent) : QWidget(parent), m_view(view) {
    setObjectName(QStringLiteral("filterBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("filterText"));
    m_text->setPlaceholderText(QStringLiteral("ｱﾄﾞﾚｽの一部"));
    m_text->setClearButtonEnabled(true);
    layout->addWidget(FieldLabel("ｱﾄﾞﾚｽ", this));
    layout->addWidget(m_text, 1);

    m_result = new QComboBox(this);
    m_result->setObjectName(QStringLiteral("filterResult"));
    for (const ResultItem& item : kResults) {
        m_result->addItem(QString::fromUtf8(item.text), static_cast<int>(item.choice));
    }
    layout->addWidget(FieldLabel("結果", this));
    layout->addWidget(m_result);

    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("filterKind"));
    for (const KindItem& item : kKinds) {
        m_kind->addItem(QString::fromUtf8(item.text), static_cast<int>(item.choice));
    }
    layout->addWidget(FieldLabel("種類", this));
    layout->addWidget(m_kind);

    m_uptime = new QSpinBox(this);
    m_uptime->setObjectName(QStringLiteral("filterUptime"));
    m_uptime->setRange(0, 100);
    m_uptime->setSuffix(QStringLiteral("%以上"));
    m_uptime->setSpecialValueText(QStringLiteral("指定なし"));
    m_uptimeLabel = FieldLabel("稼働率", this);
    layout->addWidget(m_uptimeLabel);
    layout->addWidget(m_uptime);

    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("filterClose"));
    close->setText(QStringLiteral("×"));
    close->setToolTip(QStringLiteral("ﾌｨﾙﾀを閉じて全ての行を表示します (Esc)"));
    close->setAutoRaise(true);
    layout->addSpacing(4);
    layout->addWidget(close);

    connect(m_text, &QLineEdit::textChanged, this, [this] { Changed(); });
    connect(m_result, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
    connect(m_uptime, &QSpinBox::valueChanged, this, [this] { Changed(); });
    connect(close, &QToolButton::clicked, this, [this] { Close(); });
    connect(&m_view, &ProxyListView::historyColumnsShown, this, [this](bool shown) { ShowUptime(shown); });
    ShowUptime(historyColumns);
    setVisible(false);
}

// Esc reaches the bar from whichever of its fields has the focus: none of them takes it for itself.
void FilterBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FilterBar::Toggle() {
    if (IsOpen()) {
        Close();
    } else {
        Open();
    }
}

void FilterBar::Open() {
    setVisible(true);
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
    m_view.SetRowFilter(Filter());
}

void FilterBar::Close() {
    const bool hadFocus = isAncestorOf(focusWidget());
    setVisible(false);
    m_view.SetRowFilter(RowFilter{});
    if (hadFocus) {
        m_view.setFocus(Qt::ShortcutFocusReason);
    }
}

RowFilter FilterBar::Filter() const {
    RowFilter filter;
    filter.text = ToBytes(m_text->text());
    filter.result = static_cast<ResultChoice>(m_result->currentData().toInt());
    filter.kind = static_cast<KindChoice>(m_kind->currentData().toInt());
    filter.minUptime = m_uptime->isVisibleTo(this) ? m_uptime->value() : 0;
    return filter;
}

void FilterBar::ShowUptime(bool shown) {
    m_uptimeLabel->setVisible(shown);
    m_uptime->setVisible(shown);
    Changed();
}

void FilterBar::Changed() {
    if (IsOpen()) {
        m_view.SetRowFilter(Filter());
    }
}

} // namespace zandel::ui
