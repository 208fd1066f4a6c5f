// The connection settings: read at the first show, changed in the "Настройки" dialog;
// the model list read from the service; and the open chat's parameters.
#include "app/MainWindow.h"

#include "app/ChatParametersDialog.h"
#include "app/Dialogs.h"
#include "app/KeyModelPanel.h"
#include "app/SendPanel.h"
#include "app/ModelListingTask.h"
#include "app/SettingsDialog.h"
#include "chat/GeminiDM.h"

#include <QPushButton>
#include <QStatusBar>

namespace {

using namespace Qt::StringLiterals;

} // namespace

void TForm1::LoadServiceSettings() {
    if (const Expected<void> loaded = FSettings.Load(); !loaded)
        FDialogs.ShowMessage(loaded.error());
    FGeminiDM.SetServiceSettings(FSettings.Effective());
}

void TForm1::btnSettingsClick() {
    // One dialog at a time; a closed one may linger until its deletion comes round.
    for (SettingsDialog* open : findChildren<SettingsDialog*>()) {
        if (open->isVisible()) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    SettingsDialog::Actions actions;
    actions.apiKey = [this] { return m_sendPanel->KeyModel().ApiKey(); };
    actions.save = [this](const ServiceSettings& settings) {
        Expected<void> saved = FSettings.Save(settings);
        if (saved)
            FGeminiDM.SetServiceSettings(FSettings.Effective());
        return saved;
    };
    actions.mergeModels = [this](const QStringList& models,
                                 std::function<void(const Expected<int>&)> done) {
        m_sendPanel->KeyModel().MergeListedModels(models, std::move(done));
    };
    auto* dialog = new SettingsDialog(FSettings.Saved(), FSettings.BaseUrlOverride(),
                                      std::move(actions), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void TForm1::RefreshModelsClick() {
    KeyModelPanel& keyModel = m_sendPanel->KeyModel();
    const QString key = keyModel.ApiKey();
    if (key.isEmpty()) {
        FDialogs.ShowMessage(u"Введите ключ API в поле «Ключ:»: с ним сервис отдаёт список "
                             u"моделей."_s);
        return;
    }
    keyModel.SetModelRefreshRunning(true);
    SetStatusText(u"Запрос списка моделей..."_s);
    ListModelsInBackground(FGeminiDM.Endpoint(), key, this, [this](const ModelListing& listing) {
        Guarded(FDialogs, [this, &listing] {
            KeyModelPanel& models = m_sendPanel->KeyModel();
            if (!listing) {
                models.SetModelRefreshRunning(false);
                SetStatusText(u"Список моделей не обновлён."_s);
                FDialogs.ShowMessage(listing.error().Text);
                return;
            }
            const auto merged = [this, keyModel = &models](const Expected<int>& added) {
                keyModel->SetModelRefreshRunning(false);
                SetStatusText(added ? u"Список моделей обновлён: новых моделей %1."_s.arg(*added)
                                    : added.error());
            };
            models.MergeListedModels(*listing, merged);
        });
    });
}

void TForm1::ChatParametersClick() {
    const auto makeDefault = [this](const ChatParameters& parameters) -> Expected<void> {
        ServiceSettings settings = FSettings.Saved();
        settings.ChatDefaults = parameters;
        if (Expected<void> saved = FSettings.Save(settings); !saved)
            return saved;
        FGeminiDM.SetServiceSettings(FSettings.Effective());
        return {};
    };
    auto* dialog = new ChatParametersDialog(FGeminiDM.Parameters(),
                                            m_sendPanel->KeyModel().ModelName(), makeDefault, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    ConnectGuarded(dialog, &QDialog::accepted, [this, dialog] {
        FGeminiDM.SetParameters(dialog->Parameters());
        m_sendPanel->ShowOwnParameters(FGeminiDM.Parameters() != FGeminiDM.DefaultParameters());
        // A chat that is already saved keeps its parameters in its file at once.
        if (const ChatSave save = SaveCurrentChat(); !save)
            FDialogs.ShowMessage(save.error().Message);
    });
    dialog->open();
}
