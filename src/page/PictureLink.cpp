#include "page/PictureLink.h"

#include "page/MessageBlocks.h"

#include <QCryptographicHash>
#include <QLocale>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

constexpr QStringView kFragmentPrefix = u"picture-";
constexpr qsizetype kKeyLength = 40; // SHA-1 in hexadecimal

QString pictureKey(QByteArrayView base64) {
    return QString::fromLatin1(QCryptographicHash::hash(base64, QCryptographicHash::Sha1).toHex());
}

// "PNG" for "image/png"; the whole type when it has no subtype.
QString typeName(const QString& mimeType) {
    const qsizetype slash = mimeType.indexOf(u'/');
    const QString subtype = slash >= 0 ? mimeType.sliced(slash + 1) : mimeType;
    return subtype.isEmpty() ? mimeType : subtype.toUpper();
}

bool isLarge(QByteArrayView base64) {
    return DecodedBase64Size(base64) > kInlinePictureLimitBytes;
}

} // namespace

qint64 DecodedBase64Size(QByteArrayView base64) {
    qsizetype length = base64.size();
    while (length > 0 && base64[length - 1] == '=')
        --length;
    return qint64(length) * 3 / 4;
}

QString PictureTitle(const QString& mimeType, qint64 bytes) {
    const double megabytes = double(bytes) / (1024.0 * 1024.0);
    return u"Изображение "_s + typeName(mimeType) + u", "_s +
           QLocale(QLocale::Russian).toString(megabytes, 'f', 1) + u" МБ"_s;
}

QString PictureHtml(const QString& mimeType, const QString& base64, QStringView token) {
    const QByteArray latin1 = base64.toLatin1();
    if (!isLarge(latin1))
        return u"<img class=\"generated-image\" src=\"data:"_s + EscapeHtml(mimeType) +
               u";base64,"_s + EscapeHtml(base64) + u"\" alt=\"Generated Image\">"_s;
    const QString title = EscapeHtml(PictureTitle(mimeType, DecodedBase64Size(latin1)));
    if (token.isEmpty())
        return u"<p class=\"picture-save\">"_s + title +
               u" — слишком большое, чтобы показать его здесь</p>"_s;
    QString html = u"<p class=\"picture-save\"><a class=\"picture-save-link\" role=\"button\" "
                   u"href=\"#"_s;
    html += kFragmentPrefix;
    html += token;
    html += u'-';
    html += pictureKey(latin1);
    return html + u"\">"_s + title + u" — сохранить…</a></p>"_s;
}

std::optional<QString> ParsePictureFragment(QStringView fragment, QStringView token) {
    if (token.isEmpty() || !fragment.startsWith(kFragmentPrefix))
        return std::nullopt;
    QStringView rest = fragment.sliced(kFragmentPrefix.size());
    if (!rest.startsWith(token) || rest.size() != token.size() + 1 + kKeyLength ||
        rest[token.size()] != u'-')
        return std::nullopt;
    const QStringView key = rest.sliced(token.size() + 1);
    for (const QChar c : key) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return std::nullopt;
    }
    return key.toString();
}

std::optional<TContentPart> FindPicture(const TChatHistory& history, QStringView key) {
    // Only pictures shown as links have keys; hashing the others would be wasted.
    const auto matches = [key](const TContentPart& part) {
        return part.PartType == TPartType::ptInlineData && isLarge(part.Base64Data) &&
               pictureKey(part.Base64Data) == key;
    };
    for (const THistoryItem& item : history) {
        for (const TContentPart& part : item.Images) {
            if (matches(part))
                return part;
        }
        // A question's parts are its attachments, which the page only names.
        if (item.Role != u"model")
            continue;
        for (const TContentPart& part : item.Parts) {
            if (matches(part))
                return part;
        }
    }
    return std::nullopt;
}

QString PictureFileName(const QString& mimeType) {
    QString extension = typeName(mimeType).toLower();
    if (extension == u"jpeg")
        extension = u"jpg"_s;
    const bool plain =
        !extension.isEmpty() && std::all_of(extension.begin(), extension.end(), [](QChar c) {
            return c.isLetterOrNumber() && c.unicode() < 128;
        });
    return plain ? u"picture."_s + extension : u"picture"_s;
}
