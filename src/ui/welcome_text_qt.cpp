#include "ui/welcome_text_qt.h"

#include <QStringDecoder>

namespace qv {
namespace {

QString Decode(const std::string& bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
  }
  // readme files of this device family are often written in the Chinese code page.
  QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
  if (gb.isValid()) {
    QString text = gb.decode(view);
    if (!gb.hasError()) return text;
  }
  return QString::fromLatin1(view);
}

}  // namespace

QString InformationTextForDisplay(const std::string& bytes) {
  QString text = Decode(bytes);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace qv
