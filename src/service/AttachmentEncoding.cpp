// Attached files: their MIME type from the extension, and their content as Base64.
#include "service/AttachmentEncoding.h"

#include "service/AttachmentTypes.h"

#include "text/TextDecoding.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

using namespace Qt::Literals::StringLiterals;

// Every type the program sends, in the order the file dialog lists them; the first
// match wins. The extension is compared without regard to letter case.
constexpr AttachmentType kAttachmentTypes[] = {
    {"jpg"_L1, "image/jpeg"_L1, AttachmentGroup::Image},
    {"jpeg"_L1, "image/jpeg"_L1, AttachmentGroup::Image},
    {"png"_L1, "image/png"_L1, AttachmentGroup::Image},
    {"webp"_L1, "image/webp"_L1, AttachmentGroup::Image},
    {"heic"_L1, "image/heic"_L1, AttachmentGroup::Image},
    {"heif"_L1, "image/heif"_L1, AttachmentGroup::Image},
    {"wav"_L1, "audio/wav"_L1, AttachmentGroup::Audio},
    {"mp3"_L1, "audio/mp3"_L1, AttachmentGroup::Audio},
    {"aiff"_L1, "audio/aiff"_L1, AttachmentGroup::Audio},
    {"aac"_L1, "audio/aac"_L1, AttachmentGroup::Audio},
    {"ogg"_L1, "audio/ogg"_L1, AttachmentGroup::Audio},
    {"flac"_L1, "audio/flac"_L1, AttachmentGroup::Audio},
    {"mp4"_L1, "video/mp4"_L1, AttachmentGroup::Video},
    {"mpeg"_L1, "video/mpeg"_L1, AttachmentGroup::Video},
    {"mov"_L1, "video/mov"_L1, AttachmentGroup::Video},
    {"avi"_L1, "video/avi"_L1, AttachmentGroup::Video},
    {"flv"_L1, "video/x-flv"_L1, AttachmentGroup::Video},
    {"mpg"_L1, "video/mpg"_L1, AttachmentGroup::Video},
    {"webm"_L1, "video/webm"_L1, AttachmentGroup::Video},
    {"wmv"_L1, "video/wmv"_L1, AttachmentGroup::Video},
    {"3gpp"_L1, "video/3gpp"_L1, AttachmentGroup::Video},
    {"txt"_L1, "text/plain"_L1, AttachmentGroup::TextOrCode},
    {"json"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"pas"_L1, "text/plain"_L1, AttachmentGroup::TextOrCode},
    {"dfm"_L1, "text/plain"_L1, AttachmentGroup::TextOrCode},
    {"md"_L1, "text/markdown"_L1, AttachmentGroup::TextOrCode},
    {"csv"_L1, "text/csv"_L1, AttachmentGroup::TextOrCode},
    {"tsv"_L1, "text/tab-separated-values"_L1, AttachmentGroup::OtherText},
    {"xml"_L1, "text/xml"_L1, AttachmentGroup::TextOrCode},
    {"html"_L1, "text/html"_L1, AttachmentGroup::TextOrCode},
    {"htm"_L1, "text/html"_L1, AttachmentGroup::TextOrCode},
    {"css"_L1, "text/css"_L1, AttachmentGroup::TextOrCode},
    {"js"_L1, "text/javascript"_L1, AttachmentGroup::TextOrCode},
    {"ts"_L1, "text/x-typescript"_L1, AttachmentGroup::TextOrCode},
    {"py"_L1, "text/x-python"_L1, AttachmentGroup::TextOrCode},
    {"java"_L1, "text/x-java"_L1, AttachmentGroup::TextOrCode},
    {"cpp"_L1, "text/x-c++src"_L1, AttachmentGroup::TextOrCode},
    {"c"_L1, "text/x-csrc"_L1, AttachmentGroup::TextOrCode},
    {"rb"_L1, "text/x-ruby"_L1, AttachmentGroup::TextOrCode},
    {"php"_L1, "text/x-php"_L1, AttachmentGroup::TextOrCode},
    {"sh"_L1, "text/x-shellscript"_L1, AttachmentGroup::TextOrCode},
    {"log"_L1, "text/plain"_L1, AttachmentGroup::TextOrCode},
    {"rtf"_L1, "text/rtf"_L1, AttachmentGroup::TextOrCode},
    {"yaml"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"yml"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"toml"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"ini"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"env"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"sql"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"Makefile"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"cmake"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"dockerfile"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"dockerignore"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"tf"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"tfvars"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"jsx"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"vue"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"svelte"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"scss"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"sass"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"less"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"pl"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"lua"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"vbs"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"bas"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"cob"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"f90"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"properties"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"asciidoc"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"adoc"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"creole"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"docbook"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"rst"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"tex"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"conf"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"cfg"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"bash"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"zsh"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"ksh"_L1, "text/plain"_L1, AttachmentGroup::OtherText},
    {"pdf"_L1, "application/pdf"_L1, AttachmentGroup::Document},
    {"docx"_L1, "application/vnd.openxmlformats-officedocument.wordprocessingml.document"_L1, AttachmentGroup::Document},
    {"xlsx"_L1, "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"_L1, AttachmentGroup::Document},
    {"pptx"_L1, "application/vnd.openxmlformats-officedocument.presentationml.presentation"_L1, AttachmentGroup::Document},
};

// From the last dot to the end, unless a folder separator or a drive colon comes after it.
QStringView extensionOf(QStringView fileName) {
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName[i];
        if (c == u'.')
            return fileName.sliced(i);
        if (c == u'/' || c == u'\\' || c == u':')
            break;
    }
    return {};
}

// Only A to Z change, whatever the locale.
QString asciiLower(QStringView text) {
    QString lower = text.toString();
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lower;
}

bool isTextType(const QString& mimeType) {
    return mimeType.startsWith("text/"_L1, Qt::CaseInsensitive);
}

// The whole file, or nothing when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

struct FileFilter {
    QString description;
    bool (*holds)(AttachmentGroup);
};

// The dialog's choices, the first one chosen when it opens.
const FileFilter kFileFilters[] = {
    {u"Поддерживаемые файлы"_s, [](AttachmentGroup) { return true; }},
    {u"Изображения"_s, [](AttachmentGroup g) { return g == AttachmentGroup::Image; }},
    {u"Аудио файлы"_s, [](AttachmentGroup g) { return g == AttachmentGroup::Audio; }},
    {u"Видео файлы"_s, [](AttachmentGroup g) { return g == AttachmentGroup::Video; }},
    {u"Текст / Код"_s, [](AttachmentGroup g) { return g == AttachmentGroup::TextOrCode; }},
    {u"Документы"_s, [](AttachmentGroup g) { return g == AttachmentGroup::Document; }},
};

} // namespace

QString OpenDialogFilter() {
    QStringList choices;
    for (const FileFilter& filter : kFileFilters) {
        QStringList patterns;
        for (const AttachmentType& type : kAttachmentTypes) {
            if (filter.holds(type.group))
                patterns.append(u"*."_s + type.extension);
        }
        choices.append(filter.description + u" ("_s + patterns.join(u' ') + u')');
    }
    choices.append(u"Все файлы (*.*)"_s);
    return choices.join(u";;"_s);
}

QString MimeTypeOfFile(const QString& fileName) {
    const QString extension = asciiLower(extensionOf(fileName));
    if (extension.isEmpty())
        return {};
    for (const AttachmentType& type : kAttachmentTypes) {
        if (extension.sliced(1) == asciiLower(QString(type.extension)))
            return type.mimeType;
    }
    return {};
}

QByteArray FileContentAsBase64(const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        return {};
    if (isTextType(MimeTypeOfFile(fileName)))
        return ReadTextFile(fileName).toUtf8().toBase64();
    const std::optional<QByteArray> bytes = readWholeFile(fileName);
    // Qt writes Base64 on one line, without breaks.
    return bytes ? bytes->toBase64() : QByteArray();
}

QString ReadTextFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        return {};
    const std::optional<QByteArray> bytes = readWholeFile(fileName);
    if (!bytes || bytes->isEmpty())
        return {};
    // A byte-order mark stays in the text, so it reaches the service as EF BB BF.
    return DecodeText(*bytes, ByteOrderMark::Keep).text;
}
