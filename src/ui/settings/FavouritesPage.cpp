#include "ui/settings/FavouritesPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/util/MessageService.h"
#include "core/history/HistoryColumns.h"
#include "core/history/HistoryStore.h"
#include "core/settings/ListText.h"
#include "core/settings/PageFields.h"
#include "ui/settings/ListTextEdit.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

FavouritesPage::FavouritesPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("お気に入りﾌﾟﾛｷｼﾘｽﾄ"), parent), m_settings(settings) {
    setObjectName(QStringLiteral("prop4"));
    BuildControls();
}

FavouritesPage::~FavouritesPage() = default;

void FavouritesPage::BuildControls() {
    m_favoOnBox = new QCheckBox(QStringLiteral("お気に入りから選択されたﾌﾟﾛｷｼは、すぐに有効とする(&A)"), this);
    m_favoOnBox->setObjectName(QStringLiteral("favoOnCheck"));

    auto* group = new QGroupBox(QStringLiteral("お気に入りﾌﾟﾛｷｼﾘｽﾄ(&L)"), this);
    m_text = new ListTextEdit(group);
    m_text->setObjectName(QStringLiteral("favouritesEdit"));
    auto* label = new QLabel(QStringLiteral("登録済みﾌﾟﾛｷｼｱﾄﾞﾚｽ(&P)"), group);
    label->setBuddy(m_text);
    m_count = new QLabel(FromBytes(m_countText), group);
    m_count->setObjectName(QStringLiteral("countLabel"));
    auto* groupLayout = new QGridLayout(group);
    groupLayout->addWidget(label, 0, 0);
    groupLayout->addWidget(m_count, 0, 1);
    groupLayout->addWidget(new QLabel(QStringLiteral("(50件まで登録可能です)"), group), 1, 0, 1, 2);
    groupLayout->addWidget(m_text, 2, 0, 1, 3);
    groupLayout->setColumnStretch(2, 1);
    groupLayout->setRowStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_favoOnBox);
    layout->addWidget(group, 1);

    connect(m_text, &ListTextEdit::Edited, this, &FavouritesPage::TextEdited);
    connect(m_favoOnBox, &QCheckBox::clicked, this, [this] { SetModified(); });
}

void FavouritesPage::ShowFields() {
    m_favoOnBox->setChecked(m_favoOn);
    m_count->setText(FromBytes(m_countText));
}

bool FavouritesPage::ReadFields() {
    m_favoOn = m_favoOnBox->isChecked();
    m_countText = ToBytes(m_count->text());
    return true;
}

void FavouritesPage::OnOpen() {
    const FavouritesPageFields fields = LoadFavouritesPage(m_settings);
    m_text->SetEntries(fields.Favourites);
    m_favoOn = fields.FavoOn;
    m_countText = CountLabel(static_cast<int>(fields.Favourites.size()));
    ShowFields();
    ShowUptimes();
}

void FavouritesPage::ShowUptimes() {
    m_uptimes.clear();
    m_history = std::make_unique<HistoryStore>();
    const std::optional<std::string> path = StartDirFile(m_settings, kHistoryFileName);
    if (!path || !m_history->OpenForReading(*path)) {
        m_history.reset();
        m_text->SetLineNotes(nullptr);
        return;
    }
    m_text->SetLineNotes([this](const QString& line) { return UptimeNote(line); });
}

QString FavouritesPage::UptimeNote(const QString& line) {
    const QString entry = line.trimmed();
    if (entry.isEmpty() || !m_history) {
        return {};
    }
    const auto cached = m_uptimes.constFind(entry);
    if (cached != m_uptimes.constEnd()) {
        return *cached;
    }
    const std::optional<HistorySummary> summary = m_history->SummaryOf(HistoryAddressOf(ToBytes(entry)));
    QString note = summary ? QStringLiteral("(%1)").arg(FromBytes(UptimeText(*summary))) : QString();
    m_uptimes.insert(entry, note);
    return note;
}

void FavouritesPage::TextEdited() {
    m_countText = CountLabel(m_text->LineCount());
    m_count->setText(FromBytes(m_countText));
    SetModified();
}

bool FavouritesPage::OnApply() {
    ReadFields();
    const ListTextResult read = ReadFavouriteLines(m_text->Lines());
    if (read.overflow) {
        ShowOk(MessageBoxService::Instance(), ListOverflowMessage());
    }
    ApplyFavouritesPage({m_favoOn, read.entries}, m_settings);
    m_countText = CountLabel(static_cast<int>(read.entries.size()));
    m_count->setText(FromBytes(m_countText));
    return true;
}

} // namespace zandel::ui
