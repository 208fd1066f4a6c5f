#pragma once

#include "text/Expected.h"
#include "service/ModelList.h"
#include "service/ServiceSettings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

// "Настройки": the service address, the proxy and the time-out, a check of the
// connection and the model list refresh. The window supplies what the dialog cannot
// know: the key to check with, how to save, and where listed models go.
class SettingsDialog final : public QDialog {
    Q_OBJECT

public:
    struct Actions {
        // The API key shown in the main window.
        std::function<QString()> apiKey;
        // Saves the settings; the message says why not.
        std::function<Expected<void>(const ServiceSettings&)> save;
        // Merges listed model names into the model list, then calls back with how many
        // were new.
        std::function<void(const QStringList&, std::function<void(const Expected<int>&)>)>
            mergeModels;
    };

    SettingsDialog(const ServiceSettings& saved, const QString& baseUrlOverride, Actions actions,
                   QWidget* parent = nullptr);

    // The settings as entered.
    ServiceSettings Settings() const;

    void accept() override;

private:
    enum class Purpose { Check, RefreshModels };

    void CreateControls(const QString& baseUrlOverride);
    void ShowSettings(const ServiceSettings& settings);
    void ProxyModeChanged();
    void StartListing(Purpose purpose);
    void ListingDone(Purpose purpose, const ServiceSettings& used, const ModelListing& listing);
    void EnableListing(bool enabled);
    // A one-line result in Russian, with the technical text folded away below it.
    void ShowResult(const QString& text, const QString& details = {});

    Actions m_actions;
    ServiceSettings m_saved;
    QLineEdit* m_baseUrl = nullptr;
    QRadioButton* m_proxyNone = nullptr;
    QRadioButton* m_proxyEnvironment = nullptr;
    QRadioButton* m_proxyManual = nullptr;
    QLineEdit* m_proxyAddress = nullptr;
    QLineEdit* m_proxyUser = nullptr;
    QLineEdit* m_proxyPassword = nullptr;
    QSpinBox* m_timeout = nullptr;
    QCheckBox* m_showThoughts = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_refreshModels = nullptr;
    QLabel* m_result = nullptr;
    QToolButton* m_showDetails = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
