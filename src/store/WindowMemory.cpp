#include "store/WindowMemory.h"

#include "text/RegularFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <utility>

namespace {

using namespace Qt::StringLiterals;

QByteArray keyDigest(const QString& key) {
    return QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex();
}

int firstOrNone(const QStringList& entries) {
    return entries.isEmpty() ? -1 : 0;
}

// QSettings reads the whole file, whatever it is, when it loads it and again before it
// writes it: only a missing file or a small regular one is left to it.
Expected<void> checkFile(const QString& path, const QString& failure) {
    QFile file(path);
    const Expected<void, FileReadFailure> opened = OpenRegularFile(file, kMaxSmallFileSize);
    if (opened || opened.error().Cause == FileRefusal::Missing)
        return {};
    return Failure(failure.arg(QDir::toNativeSeparators(path), opened.error().Reason));
}

} // namespace

WindowMemory::WindowMemory(QString path)
    : m_path(std::move(path)),
      m_loaded(checkFile(m_path, u"Размеры окна и выбор ключа и модели не прочитаны из %1: %2. "
                                 u"Окно открыто как в первый раз, файл не будет перезаписан."_s)) {
    if (!m_loaded)
        return;
    const QSettings file(m_path, QSettings::IniFormat);
    m_geometry = file.value("window/geometry"_L1).toByteArray();
    m_splitter = file.value("window/splitter"_L1).toByteArray();
    m_keyDigest = file.value("choice/key"_L1).toByteArray();
    m_model = file.value("choice/model"_L1).toString();
}

void WindowMemory::SetLayout(const QByteArray& geometry, const QByteArray& splitterState) {
    m_geometry = geometry;
    m_splitter = splitterState;
}

void WindowMemory::RememberChoice(const QString& key, const QString& model) {
    m_keyDigest = key.isEmpty() ? QByteArray() : keyDigest(key);
    m_model = model;
}

int WindowMemory::KeyEntry(const QStringList& keys) const {
    if (!m_keyDigest.isEmpty()) {
        for (qsizetype i = 0; i < keys.size(); ++i) {
            if (keyDigest(keys[i]) == m_keyDigest)
                return int(i);
        }
    }
    return firstOrNone(keys);
}

int WindowMemory::ModelEntry(const QStringList& models) const {
    const qsizetype index = m_model.isEmpty() ? -1 : models.indexOf(m_model);
    return index >= 0 ? int(index) : firstOrNone(models);
}

Expected<void> WindowMemory::Save() const {
    if (Expected<void> fit = checkFile(m_path, u"Состояние окна не сохранено в %1: %2"_s); !fit)
        return fit;
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue("window/geometry"_L1, m_geometry);
    file.setValue("window/splitter"_L1, m_splitter);
    file.setValue("choice/key"_L1, m_keyDigest);
    file.setValue("choice/model"_L1, m_model);
    file.sync();
    if (file.status() != QSettings::NoError)
        return Failure(u"Не удалось сохранить состояние окна в %1"_s.arg(
            QDir::toNativeSeparators(m_path)));
    return {};
}
