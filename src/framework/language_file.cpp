#include "framework/language_file.h"

#include <QFile>
#include <QXmlStreamReader>

#include "framework/framework_log.h"
#include "framework/resources.h"

namespace mokta {
namespace {

std::shared_ptr<const LanguageTexts>& ProgramLanguageSlot() {
  static std::shared_ptr<const LanguageTexts> slot;
  return slot;
}

const LanguageTexts& EmptyLanguage() {
  static const MapLanguageTexts empty;
  return empty;
}

// Reads the <Text> elements of an open file into `texts`. Returns false on an XML error or a
// root element other than <Language>, with the reason in `error`.
QString Where(const QXmlStreamReader& xml) {
  return QStringLiteral(" at line %1, column %2").arg(xml.lineNumber()).arg(xml.columnNumber());
}

bool ReadTexts(QIODevice& source, const QString& name, QHash<QString, QString>& texts,
               QString& error) {
  QXmlStreamReader xml(&source);
  if (!xml.readNextStartElement()) {
    error = xml.errorString() + Where(xml);
    return false;
  }
  if (xml.name() != u"Language") {
    error = QStringLiteral("the root element is <%1>, not <Language>").arg(xml.name());
    return false;
  }
  while (xml.readNextStartElement()) {
    if (xml.name() != u"Text") {
      xml.skipCurrentElement();
      continue;
    }
    const QString key = xml.attributes().value(QLatin1String("key")).toString();
    const qint64 line = xml.lineNumber();
    const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
    if (key.isEmpty()) continue;
    if (texts.contains(key)) {
      qCWarning(lcFramework) << "language file" << name << "gives key" << key << "again at line"
                             << line << "; the last text counts";
    }
    texts.insert(key, text);
  }
  if (xml.hasError()) {
    error = xml.errorString() + Where(xml);
    return false;
  }
  return true;
}

}  // namespace

bool LanguageFile::Load(const QString& path) {
  texts_.clear();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    qCWarning(lcFramework) << "language file" << path << "cannot be read:" << file.errorString()
                           << "; every text shows as its key";
    return false;
  }
  return Load(file, path);
}

bool LanguageFile::Load(QIODevice& source, const QString& name) {
  texts_.clear();
  QHash<QString, QString> texts;
  QString error;
  if (!ReadTexts(source, name, texts, error)) {
    qCWarning(lcFramework).noquote()
        << "language file" << name << "is damaged:" << error << "; every text shows as its key";
    return false;
  }
  texts_ = std::move(texts);
  return true;
}

bool LanguageFile::LoadFromResources() {
  return Load(ResourcePath(QStringLiteral("lan.xml")));
}

QString LanguageFile::Text(const QString& key) const {
  return texts_.value(key, key);
}

void SetProgramLanguage(std::shared_ptr<const LanguageTexts> texts) {
  ProgramLanguageSlot() = std::move(texts);
}

const LanguageTexts& ProgramLanguage() {
  const auto& slot = ProgramLanguageSlot();
  return slot ? *slot : EmptyLanguage();
}

QString LanguageText(const QString& key) {
  return ProgramLanguage().Text(key);
}

}  // namespace mokta
