#pragma once

#include <QString>

#include <array>
#include <initializer_list>
#include <vector>

// A handful of terminator characters; the readers stop at any of them.
class CharSet {
public:
    constexpr CharSet(std::initializer_list<char16_t> chars) {
        for (char16_t c : chars)
            FChars[m_count++] = c;
    }
    constexpr bool contains(char16_t c) const {
        for (int i = 0; i < m_count; ++i)
            if (FChars[i] == c)
                return true;
        return false;
    }

private:
    char16_t FChars[4]{};
    int m_count = 0;
};

// Text readers and HTML writers shared by every stage of the converter. The readers append
// what they read to out and return the position of the terminator, or -1 at the end.
class TUtils {
public:
    static int skipSpaces(const QString& in, int start);
    static int escape(QString& out, QChar ch, int position);
    static int readUntil(QString& out, const QString& in, int start, CharSet end);
    static int readRawUntil(QString& out, const QString& in, int start, QChar end);
    static int readMdLink(QString& out, const QString& in, int start);
    static int readMdLinkId(QString& out, const QString& in, int start);
    static int readXMLUntil(QString& out, const QString& in, int start, CharSet end);
    static int readXML(QString& out, const QString& in, int start, bool safeMode);
    static void getXMLTag(QString& out, const QString& element);
    static QString lowerTagName(const QString& element);
    static void appendCode(QString& out, const QString& in, int start, int end);
    static void appendValue(QString& out, const QString& in, int start, int end);
    static void appendValue(QString& out, const QString& in) {
        appendValue(out, in, 0, int(in.size()));
    }
    static void codeEncode(QString& out, const QString& value, int offset = 0);
    static void appendDecEntity(QString& out, char16_t value);
    static void appendHexEntity(QString& out, char16_t value);
    static void appendMailto(QString& out, const QString& in, int start, int end);
    static void appendMailto(QString& out, const QString& in) {
        appendMailto(out, in, 0, int(in.size()));
    }
    static QString getMetaFromFence(const QString& fenceLine);

    // The one random source of appendMailto; tests seed it to get a reproducible output.
    static void seedRandom(unsigned seed);

    // Trims the characters up to U+0020 at both ends, as ids and headings are trimmed.
    static QString trimLow(QStringView text) { return trimLowView(text).toString(); }
    static QStringView trimLowView(QStringView text);
};

// Element and entity tables; names are looked up lower-cased and case-sensitively.
class THTML {
public:
    static bool isHtmlBlockElement(QStringView name);
    static bool isUnsafeHtmlElement(QStringView name);
    static bool isEntity(QStringView text);
};

// Where TUtils::readXML would end a tag read from a given "<", without writing it. Once direct
// reading has cost more than a few passes over the text, the text is indexed, so that a run
// of "<" costs linear time instead of a scan per "<".
class TagIndex {
public:
    // directBudget: how many characters direct reading may cost before the text is indexed;
    // by default a few passes over it.
    explicit TagIndex(const QString& text, qint64 directBudget = -1)
        : m_text(text),
          m_directBudget(directBudget >= 0 ? directBudget : 16 * qint64(text.size()) + 1024) {}
    int tagEnd(int start) const;

private:
    enum ScanSet { tsName, tsAttributes, tsGreater, kSets };
    int until(ScanSet set, int from) const;

    const QString& m_text;
    qint64 m_directBudget;
    mutable qint64 m_directWork = 0;
    // Per set: the stop when the scan is outside a string, inside "..." and inside '...'.
    mutable std::array<std::vector<int>, kSets * 3> m_stops;
};
