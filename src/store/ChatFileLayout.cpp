#include "store/ChatFileLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

struct Member {
    QString name;
    QByteArrayView text; // "name":value as written
};

class Walker {
public:
    explicit Walker(QByteArrayView text) : m_p(text.data()), m_end(text.data() + text.size()) {}

    std::optional<ChatFileLayout> document() {
        skipByteOrderMarks();
        ChatFileLayout layout;
        QList<Member> members;
        if (token() != '{')
            return std::nullopt;
        const bool valid = object(members, [&](const QString& name) {
            if (name != u"contents")
                return skipValue();
            layout.Items.clear();
            return token() == '[' ? array([&] { return item(layout.Items.emplace_back()); })
                                  : skipValue();
        });
        if (!valid || token() != -1)
            return std::nullopt;
        layout.Top = kept(members, {u"title", u"pinned", u"contents"});
        return layout;
    }

    std::optional<ChatLabel> label() {
        skipByteOrderMarks();
        if (token() != '{')
            return std::nullopt;
        ++m_p;
        ChatLabel label;
        int next = token();
        while (next == '"') {
            const char* const start = m_p;
            ++m_p;
            if (!skipString())
                return std::nullopt;
            const QString name = memberName(QByteArrayView(start, m_p));
            if (token() != ':')
                return std::nullopt;
            ++m_p;
            if (name == u"contents")
                return label;
            token();
            const char* const value = m_p;
            if (!skipValue())
                return std::nullopt;
            if (name == u"title")
                label.Title = stringValue(QByteArrayView(value, m_p));
            else if (name == u"pinned")
                label.Pinned = QByteArrayView(value, m_p) == "true";
            next = token();
            if (next != ',')
                break;
            ++m_p;
            next = token();
        }
        // An object without "contents" is no chat; a text that ends here may go on.
        return std::nullopt;
    }

private:
    // The reader takes one byte-order mark off and the parser a second one.
    void skipByteOrderMarks() {
        for (int i = 0; i < 2 && m_end - m_p >= 3 && std::memcmp(m_p, "\xEF\xBB\xBF", 3) == 0; ++i)
            m_p += 3;
    }

    // The text of a string value as written, quotes included; empty for any other value.
    static QString stringValue(QByteArrayView value) {
        if (!value.startsWith('"'))
            return {};
        const QByteArrayView inner = value.sliced(1, value.size() - 2);
        if (!inner.contains('\\'))
            return QString::fromUtf8(inner);
        return QJsonDocument::fromJson("[" + value.toByteArray() + "]").array().at(0).toString();
    }

    bool item(ItemLayout& layout) {
        if (token() != '{')
            return skipValue();
        QList<Member> members;
        const bool valid = object(members, [&](const QString& name) {
            if (name != u"parts")
                return skipValue();
            layout.Parts.clear();
            return token() == '[' ? array([&] { return part(layout.Parts.emplace_back()); })
                                  : skipValue();
        });
        layout.Item =
            kept(members, {u"role", u"parts", u"message_time", u"generated_images", u"sources",
                           u"citations", u"finish_reason", u"failure"});
        return valid;
    }

    bool part(PartLayout& layout) {
        if (token() != '{')
            return skipValue();
        QList<Member> members;
        bool inlineData = false;
        bool fileData = false;
        QString objectKind;
        const bool valid = object(members, [&](const QString& name) {
            // The reader takes the first kind of this list that the part has.
            if (objectPartRank(name) < objectPartRank(objectKind) && token() == '{')
                objectKind = name;
            if (name == u"file_data")
                fileData = token() == '{';
            if (name != u"inline_data")
                return skipValue();
            QList<Member> dataMembers;
            inlineData = token() == '{';
            layout.InlineData.clear();
            if (!inlineData)
                return skipValue();
            if (!object(dataMembers, [&](const QString&) { return skipValue(); }))
                return false;
            layout.InlineData = kept(dataMembers, {u"mime_type", u"data"});
            return true;
        });
        // Which members the reader uses depends on the kind of part.
        if (inlineData)
            layout.Part = kept(members, {u"inline_data", u"file_name", u"thoughtSignature"});
        else if (fileData)
            layout.Part = kept(members, {u"file_data", u"file_name", u"local_path",
                                         u"expiration_time", u"thoughtSignature"});
        else if (!objectKind.isEmpty())
            layout.Part = kept(members, {objectKind, u"thoughtSignature"});
        else
            layout.Part = kept(members, {u"text", u"thought", u"thoughtSignature"});
        return valid;
    }

    static int objectPartRank(QStringView name) {
        static constexpr QStringView kNames[] = {u"functionCall", u"executableCode",
                                                 u"codeExecutionResult"};
        return int(std::find(std::begin(kNames), std::end(kNames), name) - std::begin(kNames));
    }

    // The members not among those read, each placed after the last of the read members
    // (in the order they are written) that stood before it.
    static KeptMembers kept(const QList<Member>& members, std::initializer_list<QStringView> read) {
        KeptMembers result;
        int after = 0;
        for (const Member& member : members) {
            const auto found = std::find(read.begin(), read.end(), member.name);
            if (found != read.end())
                after = std::max(after, int(found - read.begin()) + 1);
            else
                result.append({after, member.text.toByteArray()});
        }
        return result;
    }

    // An object from its opening brace: each member's value is left to onValue, which
    // reads it whole.
    template <typename OnValue> bool object(QList<Member>& members, OnValue onValue) {
        ++m_p;
        if (token() == '}') {
            ++m_p;
            return true;
        }
        for (;;) {
            if (token() != '"')
                return false;
            const char* const start = m_p;
            ++m_p;
            if (!skipString())
                return false;
            const QString name = memberName(QByteArrayView(start, m_p));
            if (token() != ':')
                return false;
            ++m_p;
            if (!onValue(name))
                return false;
            members.append({name, QByteArrayView(start, m_p)});
            const int next = token();
            if (next == -1)
                return false;
            ++m_p;
            if (next == '}')
                return true;
            if (next != ',')
                return false;
        }
    }

    // An array from its opening bracket, each element read by onElement.
    template <typename OnElement> bool array(OnElement onElement) {
        ++m_p;
        if (token() == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            if (!onElement())
                return false;
            const int next = token();
            if (next == -1)
                return false;
            ++m_p;
            if (next == ']')
                return true;
            if (next != ',')
                return false;
        }
    }

    // Names are compared as decoded, so "t\u0065xt" is "text".
    static QString memberName(QByteArrayView quoted) {
        const QByteArrayView inner = quoted.sliced(1, quoted.size() - 2);
        if (!inner.contains('\\'))
            return QString::fromUtf8(inner);
        const QJsonDocument document = QJsonDocument::fromJson("{" + quoted.toByteArray() + ":0}");
        return document.object().isEmpty() ? QString() : document.object().begin().key();
    }

    bool skipValue() {
        switch (token()) {
        case -1:
            return false;
        case '"':
            ++m_p;
            return skipString();
        case '{':
        case '[':
            return skipContainer();
        default:
            return skipScalar();
        }
    }

    // After the opening quote, through the closing one: a quote closes the string unless
    // an odd number of backslashes stands before it.
    bool skipString() {
        const char* const start = m_p;
        for (;;) {
            const auto* quote =
                static_cast<const char*>(std::memchr(m_p, '"', size_t(m_end - m_p)));
            if (!quote)
                return false;
            const char* before = quote;
            while (before > start && before[-1] == '\\')
                --before;
            m_p = quote + 1;
            if ((quote - before) % 2 == 0)
                return true;
        }
    }

    // A nested value skipped by counting brackets outside strings, without recursion.
    bool skipContainer() {
        qsizetype depth = 0;
        do {
            if (m_p == m_end)
                return false;
            const char c = *m_p++;
            if (c == '"') {
                if (!skipString())
                    return false;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                --depth;
            }
        } while (depth > 0);
        return true;
    }

    bool skipScalar() {
        const char* const start = m_p;
        while (m_p < m_end && !std::strchr(",}] \t\r\n:[{\"", *m_p))
            ++m_p;
        return m_p > start;
    }

    // The next byte after white space, or -1 at the end.
    int token() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
        return m_p < m_end ? uchar(*m_p) : -1;
    }

    const char* m_p;
    const char* const m_end;
};

} // namespace

std::optional<ChatFileLayout> ReadChatFileLayout(QByteArrayView text) {
    return Walker(text).document();
}

std::optional<ChatLabel> ReadChatLabel(QByteArrayView start) {
    return Walker(start).label();
}
