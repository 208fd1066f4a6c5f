// The key and model lists: loading at show, Enter adds the text shown, the popup menus
// remove it, and the daily count beside them follows both boxes.
#include "app/MainWindow.h"

#include "store/ApiKeyStatsU.h"
#include "text/ControlCharacters.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/KeyUpFilter.h"
#include "service/ModelList.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>

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

} // namespace

void TForm1::ConnectListHandlers() {
    FKeys = {editApiKey,
             QStringLiteral("Keys.txt"),
             FileAccess::OwnerOnly,
             {},
             true,
             QStringLiteral("Ключ сохранён"),
             QStringLiteral("Этот ключ уже сохранён")};
    FModels = {cbModels,
               QStringLiteral("Models.txt"),
               FileAccess::Default,
               {},
               true,
               QStringLiteral("Модель сохранена"),
               QStringLiteral("Эта модель уже в списке")};

    // An editable box is the focus proxy of its text field: the box itself gets the keys.
    new KeyUpFilter(editApiKey, [this](int key) { Guarded([&] { editApiKeyKeyUp(key); }); });
    new KeyUpFilter(cbModels, [this](int key) { Guarded([&] { cbModelsKeyUp(key); }); });
    ConnectGuarded(editApiKey, &QComboBox::editTextChanged, &TForm1::editApiKeyChange);
    ConnectGuarded(cbModels, &QComboBox::editTextChanged, &TForm1::cbModelsChange);
    ConnectGuarded(N7, &QAction::triggered, &TForm1::N7Click);
    ConnectGuarded(N8, &QAction::triggered, &TForm1::N8Click);
}

void TForm1::LoadKeyAndModelLists() {
    // Filling the boxes in code is not a change the count has to follow; the show
    // handler sets it once afterwards.
    const QSignalBlocker keysBlocker(editApiKey);
    const QSignalBlocker modelsBlocker(cbModels);
    LoadList(FModels);
    LoadList(FKeys);
    SelectRememberedEntries();
}

// The key and model chosen when the window last closed, or the first entries.
void TForm1::SelectRememberedEntries() {
    const int key = FMemory.KeyEntry(entriesOf(editApiKey));
    if (key >= 0)
        editApiKey->setCurrentIndex(key);
    const int model = FMemory.ModelEntry(entriesOf(cbModels));
    if (model >= 0)
        cbModels->setCurrentIndex(model);
}

void TForm1::LoadList(KeptList& list) {
    const QString path = FFolders.inWorkingDir(list.fileName);
    if (!QFileInfo::exists(path)) {
        list.readable = true;
        list.format = TextFormat{};
        SaveList(list);
        return;
    }
    if (const Expected<void> read = ReadList(list); !read)
        FDialogs.ShowMessage(read.error());
}

Expected<void> TForm1::ReadList(KeptList& list) {
    const Expected<ListFile> file = ReadListFile(FFolders.inWorkingDir(list.fileName));
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
bool TForm1::EnsureListReadable(KeptList& list) {
    if (list.readable)
        return true;
    // Gone since: nothing is left to lose, and the box's entries make the new file.
    if (!QFileInfo::exists(FFolders.inWorkingDir(list.fileName))) {
        list.readable = true;
        list.format = TextFormat{};
        return true;
    }
    const QString shown = list.box->currentText();
    const QSignalBlocker blocker(list.box);
    if (const Expected<void> read = ReadList(list); !read) {
        FDialogs.ShowMessage(read.error());
        return false;
    }
    list.box->setCurrentIndex(-1);
    list.box->setEditText(shown);
    return true;
}

void TForm1::ShowTodayRequestCount() {
    ShowRequestCount(GetTodayRequestCount(FFolders.programDir, editApiKey->currentText(),
                                          cbModels->currentText()));
}

// The service counts the requests it receives, not those that never reached it: a file
// too large to send, a proxy that is down.
void TForm1::CountRequestsSent() {
    const QPointer<TForm1> form(this);
    FGeminiDM.SetRequestSentHandler([form](const QString& apiKey, const QString& modelName) {
        if (!form)
            return;
        const Expected<int> count =
            IncrementTodayRequestCount(form->FFolders.programDir, apiKey, modelName);
        // The label shows the key and model chosen now, which may have changed meanwhile.
        if (apiKey == form->editApiKey->currentText() && modelName == form->cbModels->currentText())
            form->ShowRequestCount(count);
    });
}

// A count that could not be read shows a dash; the pointer over it tells why.
void TForm1::ShowRequestCount(const Expected<int>& count) {
    CountLabel->setText(count ? QString::number(*count) : QStringLiteral("—"));
    CountLabel->setToolTip(count ? Label3->toolTip() : count.error());
}

void TForm1::editApiKeyChange() {
    ShowTodayRequestCount();
}

void TForm1::cbModelsChange() {
    ShowTodayRequestCount();
}

void TForm1::editApiKeyKeyUp(int Key) {
    if (IsEnterKey(Key))
        AddShownEntry(FKeys);
}

void TForm1::cbModelsKeyUp(int Key) {
    if (IsEnterKey(Key))
        AddShownEntry(FModels);
}

void TForm1::N7Click() {
    RemoveShownEntry(FKeys, kDeleteKeyQuestion);
}

void TForm1::N8Click() {
    RemoveShownEntry(FModels, kDeleteModelQuestion);
}

void TForm1::AddShownEntry(KeptList& list) {
    // Taken as typed: a trailing space belongs to the key.
    const QString text = list.box->currentText();
    // A key goes into the request address as it stands: a control character would cut it.
    if (&list == &FKeys && HasControlCharacter(text)) {
        FDialogs.ShowMessage(kKeyWithControlCharacters);
        return;
    }
    if (!EnsureListReadable(list))
        return;
    if (findIgnoringCase(list.box, text) >= 0) {
        SetStatusText(list.presentStatus);
        return;
    }
    list.box->addItem(text);
    if (SaveList(list))
        SetStatusText(list.savedStatus);
}

void TForm1::RemoveShownEntry(KeptList& list, const QString& question) {
    const QString text = list.box->currentText();
    if (findIgnoringCase(list.box, text) < 0 || !EnsureListReadable(list))
        return;
    // Reading the file again may have changed the entries.
    const int index = findIgnoringCase(list.box, text);
    if (index < 0)
        return;
    if (!FDialogs.AskYesNo(question, Dialogs::QuestionIcon::Question))
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

bool TForm1::SaveList(KeptList& list) {
    const Expected<TextFormat> written = WriteListFile(
        FFolders.inWorkingDir(list.fileName), entriesOf(list.box), list.format, list.access);
    if (!written) {
        FDialogs.ShowMessage(written.error());
        return false;
    }
    list.format = *written;
    return true;
}

Expected<int> TForm1::MergeListedModels(const QStringList& models) {
    if (!EnsureListReadable(FModels))
        return Failure(QStringLiteral("Список моделей не изменён: Models.txt не читается."));
    const QStringList current = entriesOf(cbModels);
    const QStringList merged = MergeModelNames(current, models);
    if (merged.size() == current.size())
        return 0;
    {
        // New entries are offered, not picked: the box keeps showing what it showed.
        const QSignalBlocker blocker(cbModels);
        const QString shown = cbModels->currentText();
        cbModels->addItems(merged.sliced(current.size()));
        if (cbModels->currentText() != shown)
            cbModels->setEditText(shown);
    }
    SaveList(FModels);
    return int(merged.size() - current.size());
}
