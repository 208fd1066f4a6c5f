// The key and model boxes: loading at show, Enter adds the text shown, the popup menus
// remove it, and the daily count beside them follows both boxes.
#include "app/KeyModelPanel.h"

#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Guarded.h"
#include "app/KeyUpFilter.h"
#include "service/ModelList.h"
#include "store/ApiKeyStatsU.h"
#include "store/WindowMemory.h"
#include "text/ControlCharacters.h"
#include "text/RegularFile.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

const QString kDeleteKeyQuestion = QStringLiteral("Удалить этот ключ?\r\nДействие необратимо.");
const QString kDeleteModelQuestion = QStringLiteral("Удалить Модель?\r\nДействие необратимо.");
const QString kKeyWithControlCharacters =
    QStringLiteral("Ключ не добавлен: в нём есть управляющие символы (перевод строки, "
                   "табуляция и т. п.). Вставьте ключ без них.");

QStringList entriesOf(const QComboBox* box) {
    QStringList entries;
    entries.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        entries.append(box->itemText(i));
    return entries;
}

int findIgnoringCase(const QComboBox* box, const QString& text) {
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void setTextColour(QWidget* widget, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// On Linux Qt names an editable box by its text; the key box is named by what it is, and
// its value is told as masked as the box shows it.
class KeyBoxAccessible final : public QAccessibleWidget {
public:
    explicit KeyBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return widget()->accessibleName();
        if (kind != QAccessible::Value)
            return QAccessibleWidget::text(kind);
        const QLineEdit* field = static_cast<const QComboBox*>(widget())->lineEdit();
        return field->echoMode() == QLineEdit::Normal
                   ? field->text()
                   : QString(field->text().size(), QChar(0x2022));
    }
};

// Asked for each object by class, before Qt's own; the key box is known by its name, which
// it has from before anything could ask.
QAccessibleInterface* keyBoxAccessible(const QString& className, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (className == u"QComboBox" && box && box->objectName() == u"editApiKey")
        return new KeyBoxAccessible(box);
    return nullptr;
}

void attachEditingMenu(QLineEdit* field, QMenu* own) {
    field->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(field, &QWidget::customContextMenuRequested, own, [field, own](QPoint at) {
        QMenu* menu = field->createStandardContextMenu();
        menu->setObjectName(own->objectName() + QStringLiteral("Shown"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addActions(own->actions());
        menu->popup(field->mapToGlobal(at));
    });
}

} // namespace

KeyModelPanel::KeyModelPanel(const AppFolders& folders, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_folders(folders), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("KeyModelPanel"));
    static const bool keyBoxNamed = [] {
        QAccessible::installFactory(keyBoxAccessible);
        return true;
    }();
    Q_UNUSED(keyBoxNamed);
    Label1 = label("Label1", QStringLiteral("Модель:"), this);
    cbModels = editableCombo("cbModels", this);
    cbModels->setAccessibleName(QStringLiteral("Модель"));
    cbModels->addItems({QStringLiteral("gemini-2.5-pro"), QStringLiteral("gemini-2.5-flash"),
                        QStringLiteral("gemini-2.5-flash-lite")});
    cbModels->setToolTip(QStringLiteral("Enter — сохранить в списке"));
    cbModels->lineEdit()->setPlaceholderText(QStringLiteral("Имя модели"));
    Label2 = label("Label2", QStringLiteral("Ключ:"), this);
    editApiKey = editableCombo("editApiKey", this);
    // A screen reader names the box, never the key in it; the key shows only on request.
    editApiKey->setAccessibleName(QStringLiteral("Ключ API"));
    editApiKey->setToolTip(QStringLiteral("Enter — сохранить в списке"));
    editApiKey->lineEdit()->setPlaceholderText(QStringLiteral("Вставьте ключ API"));
    editApiKey->lineEdit()->setEchoMode(QLineEdit::Password);
    // The designed grey only where it stands out from the box.
    if (editApiKey->palette().color(QPalette::Base).lightness() > 127)
        setTextColour(editApiKey, QColor(100, 113, 105));
    showKeyButton = named(new QToolButton(this), "showKeyButton");
    showKeyButton->setText(QString::fromUtf16(u"👁"));
    showKeyButton->setCheckable(true);
    showKeyButton->setAccessibleName(QStringLiteral("Показать ключ"));
    showKeyButton->setToolTip(QStringLiteral("Показать или скрыть ключ"));
    connect(showKeyButton, &QToolButton::toggled, editApiKey, [this](bool shown) {
        editApiKey->lineEdit()->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    // It counts requests; nothing is refused at any number.
    Label3 = label("Label3", QStringLiteral("Сегодня:"), this);
    Label3->setToolTip(QStringLiteral("Запросов сегодня с этим ключом и моделью"));
    CountLabel = label("CountLabel", QStringLiteral("0"), this);
    CountLabel->setAccessibleName(QStringLiteral("Запросов сегодня"));
    // The captions label their boxes for a screen reader.
    Label1->setBuddy(cbModels);
    Label2->setBuddy(editApiKey);
    CountLabel->setToolTip(Label3->toolTip());

    // The boxes share what the width leaves.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(cbModels, 0, 1, 1, 3);
    layout->addWidget(Label2, 1, 0);
    auto* keyRow = new QHBoxLayout;
    keyRow->setSpacing(2);
    keyRow->addWidget(editApiKey, 1);
    keyRow->addWidget(showKeyButton);
    layout->addLayout(keyRow, 1, 1);
    layout->addWidget(Label3, 1, 2);
    layout->addWidget(CountLabel, 1, 3);
    layout->setColumnStretch(1, 1);
    CreateMenus();

    m_keys = {editApiKey,
              QStringLiteral("Keys.txt"),
              FileAccess::OwnerOnly,
              {},
              true,
              QStringLiteral("Ключ сохранён"),
              QStringLiteral("Этот ключ уже сохранён")};
    m_models = {cbModels,
                QStringLiteral("Models.txt"),
                FileAccess::Default,
                {},
                true,
                QStringLiteral("Модель сохранена"),
                QStringLiteral("Эта модель уже в списке")};

    // An editable box is the focus proxy of its text field: the box itself gets the keys.
    new KeyUpFilter(editApiKey, [this](int key) { Guarded(m_dialogs, [&] { editApiKeyKeyUp(key); }); });
    new KeyUpFilter(cbModels, [this](int key) { Guarded(m_dialogs, [&] { cbModelsKeyUp(key); }); });
    ConnectGuarded(editApiKey, &QComboBox::editTextChanged, this, m_dialogs,
                   [this] { editApiKeyChange(); });
    ConnectGuarded(cbModels, &QComboBox::editTextChanged, this, m_dialogs,
                   [this] { cbModelsChange(); });
    ConnectGuarded(N7, &QAction::triggered, this, m_dialogs, [this] { N7Click(); });
    ConnectGuarded(N8, &QAction::triggered, this, m_dialogs, [this] { N8Click(); });
    ConnectGuarded(RefreshModelsItem, &QAction::triggered, this, m_dialogs,
                   [this] { Q_EMIT RefreshModelsRequested(); });
}

// The text field inside an editable combo box receives the right click: its menu holds the
// field's own editing actions (in the language of Qt's translations), then the box's items.
void KeyModelPanel::CreateMenus() {
    PopupMenu19 = named(new QMenu(this), "PopupMenu19");
    N7 = menuItem(PopupMenu19, "N7", QStringLiteral("Удалить"));
    attachEditingMenu(editApiKey->lineEdit(), PopupMenu19);

    PopupMenu20 = named(new QMenu(this), "PopupMenu20");
    N8 = menuItem(PopupMenu20, "N8", QStringLiteral("Удалить"));
    menuSeparator(PopupMenu20, "RefreshModelsSeparator");
    RefreshModelsItem = menuItem(PopupMenu20, "RefreshModelsItem",
                                 QStringLiteral("Обновить список моделей"));
    attachEditingMenu(cbModels->lineEdit(), PopupMenu20);
}

QString KeyModelPanel::ApiKey() const {
    return editApiKey->currentText();
}

QString KeyModelPanel::ModelName() const {
    return cbModels->currentText();
}

void KeyModelPanel::SetModelRefreshRunning(bool running) {
    RefreshModelsItem->setEnabled(!running);
}

void KeyModelPanel::LoadKeyAndModelLists(const WindowMemory& memory) {
    {
        // Filling the boxes in code is not a change the count has to follow; it is shown
        // once afterwards.
        const QSignalBlocker keysBlocker(editApiKey);
        const QSignalBlocker modelsBlocker(cbModels);
        LoadList(m_models);
        LoadList(m_keys);
        // The key and model chosen when the window last closed, or the first entries.
        if (const int key = memory.KeyEntry(entriesOf(editApiKey)); key >= 0)
            editApiKey->setCurrentIndex(key);
        if (const int model = memory.ModelEntry(entriesOf(cbModels)); model >= 0)
            cbModels->setCurrentIndex(model);
    }
    ShowTodayRequestCount();
}

void KeyModelPanel::LoadList(KeptList& list) {
    const QString path = m_folders.inWorkingDir(list.fileName);
    if (!QFileInfo::exists(path)) {
        list.readable = true;
        list.format = TextFormat{};
        SaveList(list);
        return;
    }
    if (const Expected<void> read = ReadList(list); !read)
        m_dialogs.ShowMessage(read.error());
}

Expected<void> KeyModelPanel::ReadList(KeptList& list) {
    const Expected<ListFile> file = ReadListFile(m_folders.inWorkingDir(list.fileName));
    list.readable = file.has_value();
    if (!file)
        return Failure(file.error());
    list.format = file->format;
    list.box->clear();
    list.box->addItems(file->lines);
    return {};
}

// Writing the box's entries over a file that could not be read would replace what it
// holds, so it is read again first; while that still fails the user is told why.
bool KeyModelPanel::EnsureListReadable(KeptList& list) {
    if (list.readable)
        return true;
    // Gone since: nothing is left to lose, and the box's entries make the new file.
    if (!QFileInfo::exists(m_folders.inWorkingDir(list.fileName))) {
        list.readable = true;
        list.format = TextFormat{};
        return true;
    }
    const QString shown = list.box->currentText();
    const QSignalBlocker blocker(list.box);
    if (const Expected<void> read = ReadList(list); !read) {
        m_dialogs.ShowMessage(read.error());
        return false;
    }
    list.box->setCurrentIndex(-1);
    list.box->setEditText(shown);
    return true;
}

void KeyModelPanel::ShowTodayRequestCount() {
    ShowRequestCount(GetTodayRequestCount(m_folders.programDir, ApiKey(), ModelName()));
}

// The service counts the requests it receives, not those that never reached it: a file
// too large to send, a proxy that is down.
void KeyModelPanel::CountRequestSent(const QString& apiKey, const QString& modelName) {
    const Expected<int> count = IncrementTodayRequestCount(m_folders.programDir, apiKey, modelName);
    // The label shows the key and model chosen now, which may have changed meanwhile.
    if (apiKey == ApiKey() && modelName == ModelName())
        ShowRequestCount(count);
}

void KeyModelPanel::ShowRequestCount(const Expected<int>& count) {
    CountLabel->setText(count ? QString::number(*count) : QStringLiteral("—"));
    CountLabel->setToolTip(count ? Label3->toolTip() : count.error());
}

void KeyModelPanel::editApiKeyChange() {
    ShowTodayRequestCount();
}

void KeyModelPanel::cbModelsChange() {
    ShowTodayRequestCount();
}

void KeyModelPanel::editApiKeyKeyUp(int Key) {
    if (IsEnterKey(Key))
        AddShownEntry(m_keys);
}

void KeyModelPanel::cbModelsKeyUp(int Key) {
    if (IsEnterKey(Key))
        AddShownEntry(m_models);
}

void KeyModelPanel::N7Click() {
    RemoveShownEntry(m_keys, kDeleteKeyQuestion);
}

void KeyModelPanel::N8Click() {
    RemoveShownEntry(m_models, kDeleteModelQuestion);
}

void KeyModelPanel::AddShownEntry(KeptList& list) {
    // Taken as typed: a trailing space belongs to the key.
    const QString text = list.box->currentText();
    // A key goes into the request address as it stands: a control character would cut it.
    if (&list == &m_keys && HasControlCharacter(text)) {
        m_dialogs.ShowMessage(kKeyWithControlCharacters);
        return;
    }
    if (&list == &m_models && !IsValidModelName(text)) {
        m_dialogs.ShowMessage(InvalidModelNameMessage(text));
        return;
    }
    if (!EnsureListReadable(list))
        return;
    if (findIgnoringCase(list.box, text) >= 0) {
        Q_EMIT StatusMessage(list.presentStatus);
        return;
    }
    list.box->addItem(text);
    if (SaveList(list))
        Q_EMIT StatusMessage(list.savedStatus);
}

void KeyModelPanel::RemoveShownEntry(KeptList& list, const QString& question) {
    const QString text = list.box->currentText();
    if (findIgnoringCase(list.box, text) < 0 || !EnsureListReadable(list))
        return;
    // Reading the file again may have changed the entries.
    const int index = findIgnoringCase(list.box, text);
    if (index < 0)
        return;
    if (!m_dialogs.AskYesNo(question, Dialogs::QuestionIcon::Question))
        return;
    {
        // What was removed is not left in the box to be sent or saved again by mistake.
        const QSignalBlocker blocker(list.box);
        list.box->removeItem(index);
        list.box->setCurrentIndex(-1);
        list.box->clearEditText();
    }
    ShowTodayRequestCount();
    SaveList(list);
}

bool KeyModelPanel::SaveList(KeptList& list) {
    const Expected<TextFormat> written = WriteListFile(
        m_folders.inWorkingDir(list.fileName), entriesOf(list.box), list.format, list.access);
    if (!written) {
        m_dialogs.ShowMessage(written.error());
        return false;
    }
    list.format = *written;
    return true;
}

void KeyModelPanel::MergeListedModels(const QStringList& models,
                                      std::function<void(const Expected<int>&)> done) {
    if (!EnsureListReadable(m_models)) {
        done(Failure(QStringLiteral("Список моделей не изменён: Models.txt не читается.")));
        return;
    }
    const QStringList current = entriesOf(cbModels);
    auto* merging = new QFutureWatcher<ModelListAddition>(this);
    ConnectGuarded(merging, &QFutureWatcherBase::finished, this, m_dialogs,
                   [this, merging, models, current, done = std::move(done)] {
                       merging->deleteLater();
                       // The user changed the box meanwhile: worked out again for what it holds.
                       if (current != entriesOf(cbModels)) {
                           MergeListedModels(models, done);
                           return;
                       }
                       done(AddModels(merging->result()));
                   });
    merging->setFuture(QtConcurrent::run(NewModelNames, current, models, m_models.format));
}

Expected<int> KeyModelPanel::AddModels(const ModelListAddition& addition) {
    if (addition.Refused > 0)
        m_dialogs.ShowMessage(
            QStringLiteral("Имён моделей, которые не подходят для запроса, пропущено: %1.")
                .arg(addition.Refused));
    if (addition.LeftOut > 0)
        m_dialogs.ShowMessage(QStringLiteral("Новых имён моделей не добавлено: %1. Файл "
                                             "Models.txt не может быть больше %2 МБ.")
                                  .arg(addition.LeftOut)
                                  .arg(kMaxSmallFileSize / (1024 * 1024)));
    if (addition.Added.isEmpty())
        return 0;
    {
        // New entries are offered, not picked: the box keeps showing what it showed.
        const QSignalBlocker blocker(cbModels);
        const QString shown = cbModels->currentText();
        cbModels->addItems(addition.Added);
        if (cbModels->currentText() != shown)
            cbModels->setEditText(shown);
    }
    SaveList(m_models);
    return int(addition.Added.size());
}
