#include "gui/gb_qstring.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

namespace sorvik::gui {

QString FromGb(std::string_view gb) {
    QStringDecoder decoder("GB18030");
    return decoder.decode(QByteArrayView(gb.data(), static_cast<qsizetype>(gb.size())));
}

std::string ToGb(const QString& text) {
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace sorvik::gui
