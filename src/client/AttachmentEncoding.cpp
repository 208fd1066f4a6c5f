// Attached files: their MIME type from the extension, and their content as Base64.
#include "GeminiDM.h"

#include "TextDecoding.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

using namespace Qt::Literals::StringLiterals;

struct ExtensionType {
    QLatin1StringView extension;
    QLatin1StringView mimeType;
};

// Searched in order; the first match wins.
constexpr ExtensionType kExtensionTypes[] = {
    {".jpg"_L1, "image/jpeg"_L1},
    {".jpeg"_L1, "image/jpeg"_L1},
    {".png"_L1, "image/png"_L1},
    {".webp"_L1, "image/webp"_L1},
    {".heic"_L1, "image/heic"_L1},
    {".heif"_L1, "image/heif"_L1},
    {".wav"_L1, "audio/wav"_L1},
    {".mp3"_L1, "audio/mp3"_L1},
    {".aiff"_L1, "audio/aiff"_L1},
    {".aac"_L1, "audio/aac"_L1},
    {".ogg"_L1, "audio/ogg"_L1},
    {".flac"_L1, "audio/flac"_L1},
    {".mp4"_L1, "video/mp4"_L1},
    {".mpeg"_L1, "video/mpeg"_L1},
    {".mov"_L1, "video/mov"_L1},
    {".avi"_L1, "video/avi"_L1},
    {".flv"_L1, "video/x-flv"_L1},
    {".mpg"_L1, "video/mpg"_L1},
    {".webm"_L1, "video/webm"_L1},
    {".wmv"_L1, "video/wmv"_L1},
    {".3gpp"_L1, "video/3gpp"_L1},
    {".txt"_L1, "text/plain"_L1},
    {".json"_L1, "text/plain"_L1},
    {".pas"_L1, "text/plain"_L1},
    {".dfm"_L1, "text/plain"_L1},
    {".log"_L1, "text/plain"_L1},
    {".md"_L1, "text/markdown"_L1},
    {".csv"_L1, "text/csv"_L1},
    {".tsv"_L1, "text/tab-separated-values"_L1},
    {".xml"_L1, "text/xml"_L1},
    {".html"_L1, "text/html"_L1},
    {".htm"_L1, "text/html"_L1},
    {".css"_L1, "text/css"_L1},
    {".js"_L1, "text/javascript"_L1},
    {".ts"_L1, "text/x-typescript"_L1},
    {".py"_L1, "text/x-python"_L1},
    {".java"_L1, "text/x-java"_L1},
    {".cpp"_L1, "text/x-c++src"_L1},
    {".c"_L1, "text/x-csrc"_L1},
    {".rb"_L1, "text/x-ruby"_L1},
    {".php"_L1, "text/x-php"_L1},
    {".sh"_L1, "text/x-shellscript"_L1},
    {".rtf"_L1, "text/rtf"_L1},
    {".pdf"_L1, "application/pdf"_L1},
    {".docx"_L1, "application/vnd.openxmlformats-officedocument.wordprocessingml.document"_L1},
    {".xlsx"_L1, "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"_L1},
    {".pptx"_L1, "application/vnd.openxmlformats-officedocument.presentationml.presentation"_L1},
    {".yaml"_L1, "text/plain"_L1},
    {".yml"_L1, "text/plain"_L1},
    {".toml"_L1, "text/plain"_L1},
    {".ini"_L1, "text/plain"_L1},
    {".env"_L1, "text/plain"_L1},
    {".sql"_L1, "text/plain"_L1},
    {".makefile"_L1, "text/plain"_L1},
    {".cmake"_L1, "text/plain"_L1},
    {".dockerfile"_L1, "text/plain"_L1},
    {".dockerignore"_L1, "text/plain"_L1},
    {".tf"_L1, "text/plain"_L1},
    {".tfvars"_L1, "text/plain"_L1},
    {".jsx"_L1, "text/plain"_L1},
    {".vue"_L1, "text/plain"_L1},
    {".svelte"_L1, "text/plain"_L1},
    {".scss"_L1, "text/plain"_L1},
    {".sass"_L1, "text/plain"_L1},
    {".less"_L1, "text/plain"_L1},
    {".pl"_L1, "text/plain"_L1},
    {".lua"_L1, "text/plain"_L1},
    {".vbs"_L1, "text/plain"_L1},
    {".bas"_L1, "text/plain"_L1},
    {".cob"_L1, "text/plain"_L1},
    {".f90"_L1, "text/plain"_L1},
    {".properties"_L1, "text/plain"_L1},
    {".asciidoc"_L1, "text/plain"_L1},
    {".adoc"_L1, "text/plain"_L1},
    {".creole"_L1, "text/plain"_L1},
    {".docbook"_L1, "text/plain"_L1},
    {".rst"_L1, "text/plain"_L1},
    {".tex"_L1, "text/plain"_L1},
    {".conf"_L1, "text/plain"_L1},
    {".cfg"_L1, "text/plain"_L1},
    {".bash"_L1, "text/plain"_L1},
    {".zsh"_L1, "text/plain"_L1},
    {".ksh"_L1, "text/plain"_L1},
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

} // namespace

QString TGeminiDM::GetMimeTypeFromFileExt(const QString& AFileName) {
    const QString extension = asciiLower(extensionOf(AFileName));
    if (extension.isEmpty())
        return {};
    for (const ExtensionType& row : kExtensionTypes) {
        if (extension == row.extension)
            return row.mimeType;
    }
    return {};
}

QByteArray TGeminiDM::FileToBase64(const QString& AFileName) {
    if (!QFileInfo(AFileName).isFile())
        return {};
    if (isTextType(GetMimeTypeFromFileExt(AFileName)))
        return ReadTextFile(AFileName).toUtf8().toBase64();
    const std::optional<QByteArray> bytes = readWholeFile(AFileName);
    // Qt writes Base64 on one line, without breaks.
    return bytes ? bytes->toBase64() : QByteArray();
}

QString TGeminiDM::ReadTextFile(const QString& AFileName) {
    if (!QFileInfo(AFileName).isFile())
        return {};
    const std::optional<QByteArray> bytes = readWholeFile(AFileName);
    if (!bytes || bytes->isEmpty())
        return {};
    // A byte-order mark stays in the text, so it reaches the service as EF BB BF.
    return DecodeText(*bytes, ByteOrderMark::Keep).text;
}
