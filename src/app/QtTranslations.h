#pragma once

#include <QTranslator>

#include <memory>
#include <vector>

// Qt's own texts in Russian: the standard buttons (Да, Нет, Отмена), the file dialog and
// the web view's menu, from the catalogs of the qt6-translations-l10n package. They stay
// installed while this object lives.
class QtTranslations {
public:
    QtTranslations();

    // False when the catalogs are missing; Qt then speaks English.
    bool Installed() const { return !m_installed.empty(); }

private:
    std::vector<std::unique_ptr<QTranslator>> m_installed;
};
