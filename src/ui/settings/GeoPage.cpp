#include "ui/settings/GeoPage.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/fetch/GeoDownload.h"
#include "core/geo/GeoUpkeep.h"
#include "core/settings/CheckPage.h"
#include "core/settings/SettingsTable.h"
#include "ui/settings/GeoUpdater.h"
#include "ui/settings/SpinEdit.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

const IntBounds kRefreshBounds = BoundsOf(&AppSettings::GeoRefreshDays);
const QString kDatabaseFilter = QStringLiteral("MaxMind DB (*.mmdb);;All Files (*)");
const QString kTextFilter = QStringLiteral("Text (*.txt);;All Files (*)");

QString ChooseFile(QWidget* parent, const QString& currentPath, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), currentPath, filter);
}

QLineEdit* Box(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QPushButton* BrowseButton(const QString& name, QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("参照..."), parent);
    button->setObjectName(name);
    return button;
}

QLabel* Note(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

GeoPage::GeoPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("位置情報"), parent), m_settings(settings), m_choose(&ChooseFile),
      m_fetchRule([](FetchOptions&) { return true; }) {
    setObjectName(QStringLiteral("geoPage"));
    m_updater = new GeoUpdater(this);
    BuildControls();
}

void GeoPage::BuildControls() {
    const auto database = [this](const QString& title, const QString& name, QLineEdit*& file, QLineEdit*& url,
                                 QLabel*& note) {
        auto* group = new QGroupBox(title, this);
        file = Box(name + QStringLiteral("FileEdit"), group);
        url = Box(name + QStringLiteral("UrlEdit"), group);
        url->setPlaceholderText(QStringLiteral("https://... (.mmdb を取得するURL、空欄は取得しない)"));
        note = Note(name + QStringLiteral("Note"), group);
        auto* browse = BrowseButton(name + QStringLiteral("Browse"), group);
        connect(browse, &QPushButton::clicked, this, [this, box = file] { Browse(box, kDatabaseFilter); });
        auto* layout = new QGridLayout(group);
        layout->addWidget(new QLabel(QStringLiteral("ﾌｧｲﾙ："), group), 0, 0);
        layout->addWidget(file, 0, 1);
        layout->addWidget(browse, 0, 2);
        layout->addWidget(new QLabel(QStringLiteral("URL："), group), 1, 0);
        layout->addWidget(url, 1, 1, 1, 2);
        layout->addWidget(note, 2, 0, 1, 3);
        layout->setColumnStretch(1, 1);
        return group;
    };
    QGroupBox* country = database(QStringLiteral("国のﾃﾞｰﾀﾍﾞｰｽ(&C)"), QStringLiteral("country"), m_countryFile,
                                  m_countryUrl, m_countryNote);
    QGroupBox* asn =
        database(QStringLiteral("AS(ﾈｯﾄﾜｰｸ)のﾃﾞｰﾀﾍﾞｰｽ(&A)"), QStringLiteral("asn"), m_asnFile, m_asnUrl, m_asnNote);

    auto* refresh = new QGroupBox(QStringLiteral("更新(&U)"), this);
    m_refreshDays = new SpinEdit(refresh);
    m_refreshDays->setObjectName(QStringLiteral("refreshDays"));
    m_refreshDays->LineEdit()->setObjectName(QStringLiteral("refreshDaysEdit"));
    m_refreshDays->LineEdit()->setFixedWidth(56);
    m_refreshDays->SetRange(kRefreshBounds.lowest, kRefreshBounds.highest);
    auto* refreshLabel = new QLabel(QStringLiteral("この日数より古くなったら起動時に取得し直す(&D) (%1～%2日)")
                                        .arg(kRefreshBounds.lowest)
                                        .arg(kRefreshBounds.highest),
                                    refresh);
    refreshLabel->setBuddy(m_refreshDays->LineEdit());
    m_updateNow = new QPushButton(QStringLiteral("今すぐ更新(&N)"), refresh);
    m_updateNow->setObjectName(QStringLiteral("updateNow"));
    m_lastDownload = Note(QStringLiteral("lastDownload"), refresh);
    auto* refreshLayout = new QGridLayout(refresh);
    refreshLayout->addWidget(refreshLabel, 0, 0);
    refreshLayout->addWidget(m_refreshDays, 0, 1, Qt::AlignLeft);
    refreshLayout->addWidget(m_updateNow, 1, 0, Qt::AlignLeft);
    refreshLayout->addWidget(m_lastDownload, 1, 1);
    refreshLayout->setColumnStretch(1, 1);

    auto* hosting = new QGroupBox(QStringLiteral("ﾃﾞｰﾀｾﾝﾀｰのAS一覧(&H)"), this);
    m_datacenterFile = Box(QStringLiteral("datacenterFileEdit"), hosting);
    m_datacenterFile->setPlaceholderText(QStringLiteral("空欄はZandel付属の一覧"));
    auto* hostingBrowse = BrowseButton(QStringLiteral("datacenterBrowse"), hosting);
    connect(hostingBrowse, &QPushButton::clicked, this, [this] { Browse(m_datacenterFile, kTextFilter); });
    auto* hostingLayout = new QHBoxLayout(hosting);
    hostingLayout->addWidget(m_datacenterFile);
    hostingLayout->addWidget(hostingBrowse);

    m_attribution = Note(QStringLiteral("attribution"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(country);
    layout->addWidget(asn);
    layout->addWidget(refresh);
    layout->addWidget(hosting);
    layout->addWidget(m_attribution);
    layout->addStretch(1);

    for (QLineEdit* box : {m_countryFile, m_countryUrl, m_asnFile, m_asnUrl, m_datacenterFile}) {
        LimitBytes(box, kPageTextLimit);
        connect(box, &QLineEdit::textEdited, this, [this] { SetModified(); });
    }
    for (QLineEdit* box : {m_countryFile, m_countryUrl, m_asnFile, m_asnUrl}) {
        connect(box, &QLineEdit::editingFinished, this, [this] { ShowNotes(); });
    }
    connect(m_refreshDays->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_refreshDays, &SpinEdit::Stepped, this, [this] { SetModified(); });
    connect(m_updateNow, &QPushButton::clicked, this, [this] { UpdateNow(); });
}

void GeoPage::OnLoad() {
    m_fields = LoadGeoPage(m_settings);
}

void GeoPage::ShowFields() {
    m_countryFile->setText(FromBytes(m_fields.CountryFile));
    m_countryUrl->setText(FromBytes(m_fields.CountryUrl));
    m_asnFile->setText(FromBytes(m_fields.AsnFile));
    m_asnUrl->setText(FromBytes(m_fields.AsnUrl));
    m_refreshDays->SetValue(m_fields.RefreshDays);
    m_datacenterFile->setText(FromBytes(m_fields.DatacenterFile));
    ShowNotes();
}

bool GeoPage::ReadFields() {
    return ReadText(m_countryFile, kPageTextLimit, m_fields.CountryFile) &&
           ReadText(m_countryUrl, kPageTextLimit, m_fields.CountryUrl) &&
           ReadText(m_asnFile, kPageTextLimit, m_fields.AsnFile) &&
           ReadText(m_asnUrl, kPageTextLimit, m_fields.AsnUrl) &&
           ReadInt(m_refreshDays->LineEdit(), kRefreshBounds.lowest, kRefreshBounds.highest, m_fields.RefreshDays) &&
           ReadText(m_datacenterFile, kPageTextLimit, m_fields.DatacenterFile);
}

void GeoPage::Browse(QLineEdit* box, const QString& filter) {
    const QString chosen = m_choose(this, box->text(), filter);
    if (chosen.isEmpty()) {
        return;
    }
    box->setText(chosen);
    SetModified();
    ShowNotes();
}

void GeoPage::ShowNotes() {
    // What the boxes say now, as Apply would store it.
    AppSettings shown = m_settings;
    GeoPageFields fields = m_fields;
    fields.CountryFile = ToBytes(m_countryFile->text());
    fields.CountryUrl = ToBytes(m_countryUrl->text());
    fields.AsnFile = ToBytes(m_asnFile->text());
    fields.AsnUrl = ToBytes(m_asnUrl->text());
    ApplyGeoPage(fields, shown);
    const GeoFiles files = GeoFilesOf(shown);
    const std::time_t now = std::time(nullptr);
    const GeoFileNote country = NoteOfGeoFile(files.country, GeoKind::Country, fields.CountryUrl, now);
    const GeoFileNote asn = NoteOfGeoFile(files.asn, GeoKind::Asn, fields.AsnUrl, now);
    m_countryNote->setText(FromBytes(country.text));
    m_asnNote->setText(FromBytes(asn.text));
    for (const auto& [label, note] : {std::pair{m_countryNote, &country}, std::pair{m_asnNote, &asn}}) {
        label->setStyleSheet(note->stale ? QStringLiteral("color: #c00000;") : QString());
    }
    m_attribution->setText(
        country.dbIp || asn.dbIp
            ? QStringLiteral("%1 (%2)").arg(QString::fromLatin1(kDbIpAttribution), QString::fromLatin1(kDbIpLink))
            : QString());
    m_lastDownload->setText(m_settings.GeoLastDownload.empty()
                                ? QString()
                                : QStringLiteral("最終取得: %1").arg(FromBytes(m_settings.GeoLastDownload)));
}

// The files and URLs as the boxes hold them, without Apply: what the user sees is what is fetched.
void GeoPage::UpdateNow() {
    if (!ReadFields()) {
        return;
    }
    AppSettings target = m_settings;
    ApplyGeoPage(m_fields, target);
    std::vector<GeoUpdateJob> jobs = GeoUpdateJobsOf(target);
    if (jobs.empty()) {
        MessageBoxService::Instance().Tell("取得するﾃﾞｰﾀﾍﾞｰｽのURLを入力してください。");
        return;
    }
    FetchOptions options;
    if (!m_fetchRule(options)) {
        return;
    }
    m_updateNow->setEnabled(false);
    m_lastDownload->setText(QStringLiteral("取得中…"));
    const bool started = m_updater->Start(std::move(jobs), options, [this](const std::vector<std::string>& failures) {
        m_updateNow->setEnabled(true);
        if (failures.empty()) {
            RecordGeoDownload(m_settings, std::time(nullptr));
        }
        for (const std::string& failure : failures) {
            MessageBoxService::Instance().Tell(failure);
        }
        ShowNotes();
    });
    if (!started) {
        m_updateNow->setEnabled(true);
        ShowNotes();
    }
}

bool GeoPage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    ApplyGeoPage(m_fields, m_settings);
    return true;
}

} // namespace zandel::ui
