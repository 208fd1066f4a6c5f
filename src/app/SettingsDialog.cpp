#include "app/SettingsDialog.h"

#include "app/ModelListingTask.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using namespace Qt::StringLiterals;

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

QString failureText(ModelListFailure::Kind kind, const ServiceSettings& used) {
    using Kind = ModelListFailure::Kind;
    switch (kind) {
    case Kind::KeyRefused:
        return u"Сервис ответил, но не принял ключ API."_s;
    case Kind::ProxyRefused:
        return u"Прокси-сервер не принял имя пользователя или пароль."_s;
    case Kind::Unreachable:
        return used.Proxy.Mode == ProxyMode::Manual
                   ? u"Не удалось связаться с сервисом через этот прокси."_s
                   : u"Не удалось связаться с сервисом по этому адресу."_s;
    case Kind::TimedOut:
        return u"Сервис не ответил за %1 с."_s.arg(used.TimeoutSeconds);
    case Kind::Failed:
        break;
    }
    return u"Сервис ответил ошибкой."_s;
}

} // namespace

SettingsDialog::SettingsDialog(const ServiceSettings& saved, const QString& baseUrlOverride,
                               Actions actions, QWidget* parent)
    : QDialog(parent), m_actions(std::move(actions)), m_saved(saved) {
    setObjectName(u"SettingsDialog"_s);
    setWindowTitle(u"Настройки"_s);
    CreateControls(baseUrlOverride);
    ShowSettings(saved);
}

void SettingsDialog::CreateControls(const QString& baseUrlOverride) {
    m_baseUrl = named(new QLineEdit(this), "editBaseUrl");
    m_baseUrl->setPlaceholderText(ServiceSettings::PublicServiceAddress());

    m_proxyNone = named(new QRadioButton(u"Без прокси"_s, this), "rbProxyNone");
    m_proxyEnvironment =
        named(new QRadioButton(u"Из переменных окружения (http_proxy и др.)"_s, this),
              "rbProxyEnvironment");
    m_proxyManual = named(new QRadioButton(u"Указать вручную:"_s, this), "rbProxyManual");
    m_proxyAddress = named(new QLineEdit(this), "editProxyAddress");
    m_proxyAddress->setPlaceholderText(u"http://, https:// или socks5h://сервер:порт"_s);
    m_proxyUser = named(new QLineEdit(this), "editProxyUser");
    m_proxyUser->setPlaceholderText(u"необязательно"_s);
    m_proxyPassword = named(new QLineEdit(this), "editProxyPassword");
    m_proxyPassword->setEchoMode(QLineEdit::Password);
    m_proxyPassword->setPlaceholderText(u"необязательно"_s);
    for (QRadioButton* mode : {m_proxyNone, m_proxyEnvironment, m_proxyManual})
        connect(mode, &QRadioButton::toggled, this, &SettingsDialog::ProxyModeChanged);

    m_timeout = named(new QSpinBox(this), "spinTimeout");
    m_timeout->setRange(kMinTimeoutSeconds, kMaxTimeoutSeconds);
    m_timeout->setSuffix(u" с"_s);
    m_timeout->setToolTip(u"Сколько ждать, пока от сервиса нет ни байта"_s);
    m_showThoughts =
        named(new QCheckBox(u"Показывать размышления модели"_s, this), "chkShowThoughts");
    m_showThoughts->setToolTip(u"Думающие модели присылают краткий ход своих рассуждений; он "
                               u"показывается свёрнутым над ответом"_s);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(u"Адрес сервиса:"_s, m_baseUrl);
    if (!baseUrlOverride.isEmpty()) {
        // Lines of its own rather than word wrap, which a form layout sizes too short.
        auto* note = named(new QLabel(u"В этом запуске действует адрес\nиз командной строки "
                                      u"(--base-url):\n%1"_s.arg(baseUrlOverride),
                                      this),
                           "lblBaseUrlOverride");
        form->addRow(QString(), note);
    }
    auto* modes = new QVBoxLayout;
    modes->addWidget(m_proxyNone);
    modes->addWidget(m_proxyEnvironment);
    modes->addWidget(m_proxyManual);
    form->addRow(u"Прокси:"_s, modes);
    form->addRow(u"Адрес прокси:"_s, m_proxyAddress);
    form->addRow(u"Пользователь:"_s, m_proxyUser);
    form->addRow(u"Пароль:"_s, m_proxyPassword);
    form->addRow(u"Ожидание ответа:"_s, m_timeout);
    form->addRow(QString(), m_showThoughts);

    m_check = named(new QPushButton(u"Проверить"_s, this), "btnCheck");
    m_check->setToolTip(u"Запросить у сервиса список моделей с ключом из главного окна"_s);
    m_refreshModels =
        named(new QPushButton(u"Обновить список моделей"_s, this), "btnRefreshModels");
    connect(m_check, &QPushButton::clicked, this, [this] { StartListing(Purpose::Check); });
    connect(m_refreshModels, &QPushButton::clicked, this,
            [this] { StartListing(Purpose::RefreshModels); });
    auto* actions = new QHBoxLayout;
    actions->addWidget(m_check);
    actions->addWidget(m_refreshModels);
    actions->addStretch(1);

    m_result = named(new QLabel(this), "lblCheckResult");
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_showDetails = named(new QToolButton(this), "btnDetails");
    m_showDetails->setText(u"Подробности"_s);
    m_showDetails->setCheckable(true);
    m_showDetails->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_showDetails->setArrowType(Qt::RightArrow);
    m_showDetails->setAutoRaise(true);
    m_showDetails->hide();
    m_details = named(new QPlainTextEdit(this), "memoDetails");
    m_details->setReadOnly(true);
    m_details->setMaximumHeight(m_details->fontMetrics().lineSpacing() * 6);
    m_details->hide();
    connect(m_showDetails, &QToolButton::toggled, this, [this](bool shown) {
        m_showDetails->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
        m_details->setVisible(shown);
    });

    m_buttons = named(new QDialogButtonBox(this), "buttonBox");
    m_buttons->addButton(u"Сохранить"_s, QDialogButtonBox::AcceptRole)->setObjectName(u"btnSave"_s);
    m_buttons->addButton(u"Отмена"_s, QDialogButtonBox::RejectRole)->setObjectName(u"btnCancel"_s);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(actions);
    layout->addWidget(m_result);
    layout->addWidget(m_showDetails, 0, Qt::AlignLeft);
    layout->addWidget(m_details);
    layout->addStretch(1);
    layout->addWidget(m_buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void SettingsDialog::ShowSettings(const ServiceSettings& settings) {
    m_baseUrl->setText(settings.BaseUrl);
    m_proxyAddress->setText(settings.Proxy.Address);
    m_proxyUser->setText(settings.Proxy.User);
    m_proxyPassword->setText(settings.Proxy.Password);
    switch (settings.Proxy.Mode) {
    case ProxyMode::None:
        m_proxyNone->setChecked(true);
        break;
    case ProxyMode::Environment:
        m_proxyEnvironment->setChecked(true);
        break;
    case ProxyMode::Manual:
        m_proxyManual->setChecked(true);
        break;
    }
    m_timeout->setValue(settings.TimeoutSeconds);
    m_showThoughts->setChecked(settings.ShowThoughts);
    ProxyModeChanged();
}

ServiceSettings SettingsDialog::Settings() const {
    // What the dialog does not show (the parameters new chats start with) stays as saved.
    ServiceSettings settings = m_saved;
    settings.BaseUrl = m_baseUrl->text().trimmed();
    settings.Proxy.Mode = m_proxyManual->isChecked() ? ProxyMode::Manual
                          : m_proxyNone->isChecked() ? ProxyMode::None
                                                     : ProxyMode::Environment;
    settings.Proxy.Address = m_proxyAddress->text().trimmed();
    settings.Proxy.User = m_proxyUser->text();
    settings.Proxy.Password = m_proxyPassword->text();
    settings.TimeoutSeconds = m_timeout->value();
    settings.ShowThoughts = m_showThoughts->isChecked();
    return settings;
}

void SettingsDialog::ProxyModeChanged() {
    const bool manual = m_proxyManual->isChecked();
    for (QLineEdit* field : {m_proxyAddress, m_proxyUser, m_proxyPassword})
        field->setEnabled(manual);
}

void SettingsDialog::accept() {
    const Expected<void> saved = m_actions.save(Settings());
    if (!saved) {
        ShowResult(saved.error());
        return;
    }
    QDialog::accept();
}

void SettingsDialog::StartListing(Purpose purpose) {
    const ServiceSettings settings = Settings();
    if (const Expected<void> valid = CheckServiceSettings(settings); !valid) {
        ShowResult(valid.error());
        return;
    }
    const QString key = m_actions.apiKey();
    if (key.isEmpty()) {
        ShowResult(u"Введите ключ API в главном окне (поле «Ключ:»): с ним сервис "
                   u"отдаёт список моделей."_s);
        return;
    }
    EnableListing(false);
    ShowResult(u"Запрос к сервису..."_s);
    const ServiceEndpoint endpoint{settings.BaseUrl, settings.TimeoutSeconds * 1000,
                                   settings.Proxy};
    ListModelsInBackground(endpoint, key, this,
                           [this, purpose, settings](const ModelListing& listing) {
                               ListingDone(purpose, settings, listing);
                           });
}

void SettingsDialog::ListingDone(Purpose purpose, const ServiceSettings& used,
                                 const ModelListing& listing) {
    if (!listing) {
        EnableListing(true);
        ShowResult(failureText(listing.error().What, used), listing.error().Text);
        return;
    }
    if (purpose == Purpose::Check) {
        EnableListing(true);
        ShowResult(u"Связь есть: ключ принят, моделей для ответов: %1."_s.arg(listing->size()));
        return;
    }
    // The dialog may be closed before the merge ends.
    m_actions.mergeModels(*listing, [dialog = QPointer<SettingsDialog>(this),
                                     listed = listing->size()](const Expected<int>& added) {
        if (!dialog)
            return;
        dialog->EnableListing(true);
        if (!added)
            dialog->ShowResult(added.error());
        else
            dialog->ShowResult(
                u"Список моделей обновлён: новых моделей %1 из %2."_s.arg(*added).arg(listed));
    });
}

void SettingsDialog::EnableListing(bool enabled) {
    m_check->setEnabled(enabled);
    m_refreshModels->setEnabled(enabled);
}

void SettingsDialog::ShowResult(const QString& text, const QString& details) {
    m_result->setText(text);
    m_details->setPlainText(details);
    m_showDetails->setVisible(!details.isEmpty());
    if (details.isEmpty())
        m_showDetails->setChecked(false);
    m_details->setVisible(!details.isEmpty() && m_showDetails->isChecked());
}
