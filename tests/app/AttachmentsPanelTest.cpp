#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "WindowTest.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

using namespace Qt::Literals::StringLiterals;

const QString kLimitMessage = u"Достигнут максимальный лимит файлов (16)."_s;
const QString kStoppedMessage = u"Добавление остановлено – достигнут лимит файлов."_s;

QStringList texts(const QListWidget* list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result.append(list->item(i)->text());
    return result;
}

class AttachmentsPanelTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dialogs.messages.clear();
    }

    // Paths the dialog returns; the panel never opens them.
    QString path(const QString& name) const { return programDir.filePath(name); }

    QStringList paths(int count, const QString& pattern) const {
        QStringList result;
        for (int i = 1; i <= count; ++i)
            result.append(path(pattern.arg(i)));
        return result;
    }

    void pick(const QStringList& selection) {
        dialogs.fileSelections.append(selection);
        control<QPushButton>("btnAddFile1")->click();
    }
};

TEST_F(AttachmentsPanelTest, OpensTheFileDialogWithItsTitleAndFilter) {
    pick({});
    control<QAction>("N1")->trigger();
    ASSERT_EQ(dialogs.fileDialogs.size(), 2);
    EXPECT_EQ(dialogs.fileDialogs[1], dialogs.fileDialogs[0]);
    EXPECT_EQ(dialogs.fileDialogs[0][0], u"Выберите один или несколько файлов"_s);
    EXPECT_EQ(
        dialogs.fileDialogs[0][1],
        u"Поддерживаемые файлы (*.jpg *.jpeg *.png *.webp *.heic *.heif *.wav *.mp3 *.aiff *.aac "
        "*.ogg *.flac *.mp4 *.mpeg *.mov *.avi *.flv *.mpg *.webm *.wmv *.3gpp *.txt *.json *.pas "
        "*.dfm *.md *.csv *.tsv *.xml *.html *.htm *.css *.js *.ts *.py *.java *.cpp *.c *.rb *.php *.sh "
        "*.log *.rtf *.yaml *.yml *.toml *.ini *.env *.sql *.Makefile *.cmake *.dockerfile "
        "*.dockerignore *.tf *.tfvars *.jsx *.vue *.svelte *.scss *.sass *.less *.pl *.lua *.vbs "
        "*.bas *.cob *.f90 *.properties *.asciidoc *.adoc *.creole *.docbook *.rst *.tex *.conf "
        "*.cfg *.bash *.zsh *.ksh *.pdf *.docx *.xlsx *.pptx);;"
        "Изображения (*.jpg *.jpeg *.png *.webp *.heic *.heif);;"
        "Аудио файлы (*.wav *.mp3 *.aiff *.aac *.ogg *.flac);;"
        "Видео файлы (*.mp4 *.mpeg *.mov *.avi *.flv *.mpg *.webm *.wmv *.3gpp);;"
        "Текст / Код (*.txt *.pas *.dfm *.md *.csv *.xml *.html *.htm *.css *.js *.ts *.py *.java "
        "*.cpp *.c *.rb *.php *.sh *.log *.rtf);;"
        "Документы (*.pdf *.docx *.xlsx *.pptx);;"
        "Все файлы (*.*)"_s);
}

TEST_F(AttachmentsPanelTest, TwentyFilesAddTheFirstSixteenThenStop) {
    const QStringList picked = paths(20, u"photo%1.png"_s);
    pick(picked);
    EXPECT_EQ(attachments().AttachedFiles(), picked.first(16));
    EXPECT_EQ(texts(control<QListWidget>("ListBox1")).first(), u"photo1.png"_s);
    EXPECT_EQ(texts(control<QListWidget>("ListBox1")).last(), u"photo16.png"_s);
    EXPECT_EQ(dialogs.messages, QStringList({kStoppedMessage}));
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (16/16)"_s);
}

TEST_F(AttachmentsPanelTest, ReachingTheLimitExactlyIsQuietAndThenAddStopsBeforeTheDialog) {
    pick(paths(10, u"a%1.txt"_s));
    pick(paths(6, u"b%1.pdf"_s));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(attachments().AttachedFiles().size(), 16);
    EXPECT_EQ(control<QListWidget>("ListBox1")->count(), 16);
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (16/16)"_s);
    // 16 inline parts and an empty prompt.
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QString::number(16 * 258));

    pick({path(u"c.txt"_s)});
    control<QAction>("N1")->trigger();
    EXPECT_EQ(dialogs.messages, QStringList({kLimitMessage, kLimitMessage}));
    EXPECT_EQ(dialogs.fileDialogs.size(), 2);
    EXPECT_EQ(attachments().AttachedFiles().size(), 16);
}

TEST_F(AttachmentsPanelTest, UnsupportedFilesAreRefusedOneByOne) {
    pick({path(u"a.txt"_s), path(u"setup.exe"_s), path(u"b.PNG"_s), path(u"Makefile"_s)});
    EXPECT_EQ(dialogs.messages, QStringList({u"Файл \"setup.exe\" имеет неподдерживаемый тип."_s,
                                             u"Файл \"Makefile\" имеет неподдерживаемый тип."_s}));
    EXPECT_EQ(attachments().AttachedFiles(), QStringList({path(u"a.txt"_s), path(u"b.PNG"_s)}));
    EXPECT_EQ(texts(control<QListWidget>("ListBox1")), QStringList({u"a.txt"_s, u"b.PNG"_s}));
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (2/16)"_s);
}

TEST_F(AttachmentsPanelTest, OnlyRegularFilesAreAttached) {
    const QString fifo = path(u"fifo.txt"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A device that never ends, behind a name the type table knows.
    const QString device = path(u"zero.txt"_s);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, device));
    const QString socket = path(u"socket.txt"_s);
    const int socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socket);
    ASSERT_LT(size_t(socketName.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.constData(), size_t(socketName.size()));
    ASSERT_EQ(::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QString folder = path(u"folder.txt"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString regular = path(u"note.txt"_s);
    QFile note(regular);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.close();
    // A link to a regular file is attached like the file.
    const QString link = path(u"link.txt"_s);
    ASSERT_TRUE(QFile::link(regular, link));

    pick({fifo, device, socket, folder, regular, link});
    ::close(socketFd);
    EXPECT_EQ(dialogs.messages,
              QStringList({u"Файл \"fifo.txt\" имеет неподдерживаемый тип."_s,
                           u"Файл \"zero.txt\" имеет неподдерживаемый тип."_s,
                           u"Файл \"socket.txt\" имеет неподдерживаемый тип."_s,
                           u"Файл \"folder.txt\" имеет неподдерживаемый тип."_s}));
    EXPECT_EQ(attachments().AttachedFiles(), QStringList({regular, link}));
}

TEST_F(AttachmentsPanelTest, SamePathInOtherCaseIsSkippedButEqualNamesFromTwoFoldersStay) {
    pick({path(u"Docs/Notes.txt"_s)});
    pick({path(u"docs/NOTES.TXT"_s), path(u"one/a.txt"_s), path(u"two/a.txt"_s),
          path(u"one/a.txt"_s)});
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(attachments().AttachedFiles(),
              QStringList({path(u"Docs/Notes.txt"_s), path(u"one/a.txt"_s), path(u"two/a.txt"_s)}));
    EXPECT_EQ(texts(control<QListWidget>("ListBox1")),
              QStringList({u"Notes.txt"_s, u"a.txt"_s, u"a.txt"_s}));
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (3/16)"_s);
}

TEST_F(AttachmentsPanelTest, CancellingChangesNothing) {
    pick({path(u"a.txt"_s)});
    control<QLabel>("lblFileLimits1")->setText(u"unchanged"_s);
    pick({});
    EXPECT_EQ(attachments().AttachedFiles(), QStringList({path(u"a.txt"_s)}));
    EXPECT_EQ(control<QListWidget>("ListBox1")->count(), 1);
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"unchanged"_s);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AttachmentsPanelTest, RemovesTheSelectedFileOnly) {
    const QStringList picked = {path(u"one/a.txt"_s), path(u"b.png"_s), path(u"two/a.txt"_s),
                                path(u"d.pdf"_s)};
    pick(picked);

    control<QListWidget>("ListBox1")->clearSelection();
    control<QAction>("N3")->trigger();
    EXPECT_EQ(attachments().AttachedFiles(), picked);

    control<QListWidget>("ListBox1")->setCurrentRow(2);
    control<QAction>("N3")->trigger();
    EXPECT_EQ(attachments().AttachedFiles(),
              QStringList({path(u"one/a.txt"_s), path(u"b.png"_s), path(u"d.pdf"_s)}));
    EXPECT_EQ(texts(control<QListWidget>("ListBox1")),
              QStringList({u"a.txt"_s, u"b.png"_s, u"d.pdf"_s}));
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (3/16)"_s);
    EXPECT_TRUE(dialogs.questions.isEmpty());
}

TEST_F(AttachmentsPanelTest, RemovingAllAsksFirst) {
    const QString question = u"Очистить список файлов?\r\nДействие необратимо."_s;
    pick({path(u"a.txt"_s), path(u"b.png"_s)});

    dialogs.answers = {false};
    control<QPushButton>("btnClearFiles1")->click();
    EXPECT_EQ(attachments().AttachedFiles().size(), 2);
    EXPECT_EQ(control<QListWidget>("ListBox1")->count(), 2);

    dialogs.answers = {true};
    control<QAction>("N5")->trigger();
    EXPECT_EQ(attachments().AttachedFiles().size(), 0);
    EXPECT_EQ(control<QListWidget>("ListBox1")->count(), 0);
    EXPECT_EQ(control<QLabel>("lblFileLimits1")->text(), u"Файлы (0/16)"_s);
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), u"0"_s);

    // Asked even with nothing attached.
    control<QPushButton>("btnClearFiles1")->click();
    ASSERT_EQ(dialogs.questions.size(), 3);
    for (const auto& asked : dialogs.questions) {
        EXPECT_EQ(asked.text, question);
        EXPECT_EQ(asked.icon, Dialogs::QuestionIcon::Question);
    }
}

// A file the service cannot take inline is refused when it is attached, not at Send.
TEST_F(AttachmentsPanelTest, AFileOverTheInlineLimitIsRefusedWhenAttached) {
    QFile big(path(u"big.txt"_s));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(20971521));
    big.close();
    QFile exact(path(u"exact.txt"_s));
    ASSERT_TRUE(exact.open(QIODevice::WriteOnly) && exact.resize(20971520));
    exact.close();
    pick({big.fileName(), exact.fileName()});
    EXPECT_EQ(dialogs.messages, QStringList{u"Файл \"big.txt\" больше 20 МБ"_s});
    EXPECT_EQ(attachments().AttachedFiles(), QStringList{exact.fileName()});
}

// Each entry tells its size and, for a picture, shows it small; its own button removes it.
TEST_F(AttachmentsPanelTest, EachEntryShowsItsSizeAndRemovesItself) {
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(path(u"photo.png"_s)));
    QFile text(path(u"a.txt"_s));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write(QByteArray(2048, 'x')) == 2048);
    text.close();
    pick({path(u"photo.png"_s), path(u"a.txt"_s)});
    auto* list = control<QListWidget>("ListBox1");
    ASSERT_EQ(list->count(), 2);
    EXPECT_FALSE(list->item(0)->icon().isNull());
    EXPECT_TRUE(list->item(1)->icon().isNull());
    EXPECT_TRUE(list->item(1)->toolTip().endsWith(QLocale().formattedDataSize(2048)))
        << list->item(1)->toolTip().toStdString();

    QToolButton* remove = nullptr;
    for (QToolButton* button : list->findChildren<QToolButton*>())
        if (button->accessibleName() == u"Убрать файл photo.png"_s)
            remove = button;
    ASSERT_NE(remove, nullptr);
    remove->click();
    EXPECT_EQ(attachments().AttachedFiles(), QStringList{path(u"a.txt"_s)});
    EXPECT_EQ(texts(list), QStringList{u"a.txt"_s});
}

// Files dropped on any part of the window are attached, the prompt box and the page
// included; a picture pasted into the prompt box becomes a PNG kept while it is attached.
TEST_F(AttachmentsPanelTest, DroppedFilesAndPastedPicturesAreAttached) {
    const auto drop = [](QWidget* target, const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls.append(QUrl::fromLocalFile(file));
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &dropped);
        EXPECT_TRUE(dropped.isAccepted());
    };
    auto* prompt = control<QWidget>("memoPrompt");
    drop(prompt, {path(u"a.txt"_s)});
    drop(control<QWidget>("ListBox2"), {path(u"b.pdf"_s), path(u"c.png"_s)});
    EXPECT_EQ(attachments().AttachedFiles(),
              QStringList({path(u"a.txt"_s), path(u"b.pdf"_s), path(u"c.png"_s)}));
    EXPECT_TRUE(control<QPlainTextEdit>("memoPrompt")->toPlainText().isEmpty());

    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(picture);
    prompt->setFocus();
    QTest::keyClick(prompt, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(attachments().AttachedFiles().size(), 4);
    const QString pasted = attachments().AttachedFiles().last();
    EXPECT_EQ(QFileInfo(pasted).dir().path(), programDir.filePath(u"pasted"_s));
    EXPECT_EQ(QImage(pasted).pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_TRUE(control<QPlainTextEdit>("memoPrompt")->toPlainText().isEmpty());
    attachments().SetAttachedFiles({});
    EXPECT_FALSE(QFile::exists(pasted));
}

} // namespace
