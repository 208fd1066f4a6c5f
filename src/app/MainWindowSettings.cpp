// The connection settings: read at the first show, changed in the "Настройки" dialog;
// and the model list read from the service.
#include "app/MainWindow.h"

#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/ModelListingTask.h"
#include "app/SettingsDialog.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

namespace {

using namespace Qt::StringLiterals;

} // namespace

// The entry sits at the right end of the status bar: always in view, and clear of the
// controls under the chat page.
void TForm1::CreateSettingsEntry() {
    btnSettings = new QPushButton(u"Настройки"_s, statusBar);
    btnSettings->setObjectName(u"btnSettings"_s);
    btnSettings->setToolTip(u"Адрес сервиса, прокси, время ожидания и список моделей"_s);
    btnSettings->setFlat(true);
    statusBar->addPermanentWidget(btnSettings);
    ConnectGuarded(btnSettings, &QPushButton::clicked, &TForm1::btnSettingsClick);

    PopupMenu20->addSeparator()->setObjectName(u"RefreshModelsSeparator"_s);
    RefreshModelsItem = PopupMenu20->addAction(u"Обновить список моделей"_s);
    RefreshModelsItem->setObjectName(u"RefreshModelsItem"_s);
    ConnectGuarded(RefreshModelsItem, &QAction::triggered, &TForm1::RefreshModelsClick);
}

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
    actions.apiKey = [this] { return editApiKey->currentText(); };
    actions.save = [this](const ServiceSettings& settings) {
        Expected<void> saved = FSettings.Save(settings);
        if (saved)
            FGeminiDM.SetServiceSettings(FSettings.Effective());
        return saved;
    };
    actions.mergeModels = [this](const QStringList& models) { return MergeListedModels(models); };
    auto* dialog = new SettingsDialog(FSettings.Saved(), FSettings.BaseUrlOverride(),
                                      std::move(actions), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void TForm1::RefreshModelsClick() {
    const QString key = editApiKey->currentText();
    if (key.isEmpty()) {
        FDialogs.ShowMessage(u"Введите ключ API в поле «Ключ:»: с ним сервис отдаёт список "
                             u"моделей."_s);
        return;
    }
    RefreshModelsItem->setEnabled(false);
    SetStatusText(u"Запрос списка моделей..."_s);
    ListModelsInBackground(FGeminiDM.Endpoint(), key, this, [this](const ModelListing& listing) {
        Guarded([this, &listing] {
            RefreshModelsItem->setEnabled(true);
            if (!listing) {
                SetStatusText(u"Список моделей не обновлён."_s);
                FDialogs.ShowMessage(listing.error().Text);
                return;
            }
            const Expected<int> added = MergeListedModels(*listing);
            SetStatusText(added ? u"Список моделей обновлён: новых моделей %1."_s.arg(*added)
                                : added.error());
        });
    });
}
