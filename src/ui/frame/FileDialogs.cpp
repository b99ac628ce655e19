#include "ui/frame/FileDialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

std::optional<std::string> Exec(QFileDialog& dialog) {
    // The labels carry their patterns already; the patterns Qt matches with are added behind them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return ToBytes(dialog.selectedFiles().constFirst());
}

std::optional<std::string> Run(QFileDialog& dialog) {
    dialog.setNameFilters(NameFilters(kListFileFilter));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    return Exec(dialog);
}

} // namespace

QStringList NameFilters(const char* filter) {
    const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString pattern = parts[i + 1];
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], pattern);
    }
    return filters;
}

std::optional<std::string> QtFileDialogs::GetOpenPath() {
    QFileDialog dialog(&m_parent, QStringLiteral("開く"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return Run(dialog);
}

std::optional<std::string> QtFileDialogs::GetSavePath(const std::string& proposed) {
    QFileDialog dialog(&m_parent, QStringLiteral("名前を付けて保存"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!proposed.empty()) {
        dialog.selectFile(FromBytes(proposed));
    }
    return Run(dialog);
}

std::optional<std::string> QtFileDialogs::GetExportPath(const std::string& proposed) {
    QFileDialog dialog(&m_parent, QStringLiteral("ｴｸｽﾎﾟｰﾄ"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(kExportFileFilter));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // A name without an extension takes the chosen type's, so that the type the user picked is the one written.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.contains(QStringLiteral("*.json")) ? QStringLiteral("json")
                                                                          : QStringLiteral("csv"));
    });
    if (!proposed.empty()) {
        dialog.selectFile(FromBytes(proposed));
    }
    return Exec(dialog);
}

std::optional<UrlChoice> QtFileDialogs::GetOpenUrl(const std::string& proposed, bool viaProxy) {
    QDialog dialog(&m_parent);
    dialog.setObjectName(QStringLiteral("openUrlDialog"));
    dialog.setWindowTitle(QStringLiteral("URLから開く"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QStringLiteral("ﾘｽﾄのURL(&U):"), &dialog);
    layout->addWidget(label);
    auto* edit = new QLineEdit(FromBytes(proposed), &dialog);
    label->setBuddy(edit);
    edit->setObjectName(QStringLiteral("listUrlEdit"));
    edit->setPlaceholderText(QStringLiteral("https://"));
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
    layout->addWidget(edit);
    auto* proxy = new QCheckBox(QStringLiteral("現在のﾌﾟﾛｷｼを経由する(&P)"), &dialog);
    proxy->setObjectName(QStringLiteral("viaProxyCheck"));
    proxy->setChecked(viaProxy);
    layout->addWidget(proxy);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // Nothing to fetch without a URL.
    const auto refresh = [edit, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!edit->text().trimmed().isEmpty());
    };
    QObject::connect(edit, &QLineEdit::textChanged, &dialog, refresh);
    refresh();
    edit->selectAll();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return UrlChoice{ToBytes(edit->text()), proxy->isChecked()};
}

std::optional<UrlLogin> QtFileDialogs::GetUrlLogin(const std::string& shownUrl, const std::string& user) {
    QDialog dialog(&m_parent);
    dialog.setObjectName(QStringLiteral("urlLoginDialog"));
    dialog.setWindowTitle(QStringLiteral("ﾛｸﾞｲﾝ"));
    auto* layout = new QFormLayout(&dialog);
    auto* what = new QLabel(
        FromBytes(shownUrl) + QStringLiteral("\nはﾛｸﾞｲﾝを求めています。(ﾛｸﾞｲﾝはどこにも保存しません)"), &dialog);
    what->setTextFormat(Qt::PlainText);
    layout->addRow(what);
    auto* userEdit = new QLineEdit(FromBytes(user), &dialog);
    userEdit->setObjectName(QStringLiteral("urlUserEdit"));
    layout->addRow(QStringLiteral("ﾕｰｻﾞｰ名(&U):"), userEdit);
    auto* passwordEdit = new QLineEdit(&dialog);
    passwordEdit->setObjectName(QStringLiteral("urlPasswordEdit"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ(&P):"), passwordEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (user.empty() ? userEdit : passwordEdit)->setFocus();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return UrlLogin{ToBytes(userEdit->text()), ToBytes(passwordEdit->text())};
}

} // namespace zandel::ui
