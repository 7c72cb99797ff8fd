#include "common/ui/WireText.h"

#include <QByteArrayView>
#include <QStringDecoder>

namespace vn {

QString fromWire(const std::string& bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Keep a leading byte order mark: it is part of the bytes the peer sent.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                 QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(view);
}

std::string toWire(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

} // namespace vn
