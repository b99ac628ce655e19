#include "ui/util/TextCodec.h"

#include <QStringDecoder>

namespace zandel::ui {

QString FromBytes(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) {
        return text;
    }
    return FromCp932(bytes);
}

QString FromCp932(const std::string& bytes) {
    QStringDecoder cp932("windows-31j", QStringDecoder::Flag::Stateless);
    if (cp932.isValid()) {
        return cp932.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace zandel::ui
