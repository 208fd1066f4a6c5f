#pragma once

#include "markdown/MarkdownDecorator.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <initializer_list>
#include <memory>

enum TMarkdownProcessorDialect : std::uint8_t { mdClassic = 0, mdRich = 1, mdExtended = 2 };

// A set of dialects, one bit per value.
class TSeTMarkdownProcessorDialect {
public:
    constexpr TSeTMarkdownProcessorDialect(std::initializer_list<TMarkdownProcessorDialect> items) {
        for (TMarkdownProcessorDialect d : items)
            FBits |= std::uint8_t(1u << d);
    }
    constexpr bool contains(TMarkdownProcessorDialect d) const { return FBits & (1u << d); }

private:
    std::uint8_t FBits = 0;
};

// Hook for the content of special links written between "[[" and "]]".
class TSpanEmitter {
public:
    virtual ~TSpanEmitter() = default;
    virtual void emitSpan(QString& out, const QString& content) = 0;
};

// Hook that writes code blocks instead of the decorator.
class TBlockEmitter {
public:
    virtual ~TBlockEmitter() = default;
    virtual void emitBlock(QString& out, const QStringList& lines, const QString& meta) = 0;
};

// The settings every stage of the converter reads.
class TConfiguration {
public:
    explicit TConfiguration(bool safe);

    TMarkdownProcessorDialect Dialect() const { return FDialect; }
    void SetDialect(TMarkdownProcessorDialect value);
    bool isDialect(TSeTMarkdownProcessorDialect dialects) const {
        return dialects.contains(FDialect);
    }

    bool safeMode() const { return FsafeMode; }
    void setSafeMode(bool value) { FsafeMode = value; }
    bool panicMode() const { return FpanicMode; }
    void setPanicMode(bool value) { FpanicMode = value; }
    bool allowSpacesInFencedDelimiters() const { return FallowSpacesInFencedDelimiters; }
    void setAllowSpacesInFencedDelimiters(bool value) { FallowSpacesInFencedDelimiters = value; }
    // A Markdown image whose address is not a data: URI is written as a link to that
    // address, so showing the answer fetches nothing. Off by default.
    bool remoteImagesAsLinks() const { return FremoteImagesAsLinks; }
    void setRemoteImagesAsLinks(bool value) { FremoteImagesAsLinks = value; }
    // How the rich dialect writes formulas: Image (the default) as an image of the remote
    // formula service; Local as their TeX source in an element for the page to typeset,
    // with "$$…$$", "\(…\)" and "\[…\]" read as well.
    enum class MathMode { Image, Local };
    MathMode mathMode() const { return FmathMode; }
    void setMathMode(MathMode value) { FmathMode = value; }
    // How the model writes: blocks as CommonMark reads them, GitHub's tables, strike-through,
    // bare links, task lists and footnotes, and no typographic replacements. Meant for the
    // rich dialect; the dialects themselves stay as they are. Off by default.
    bool answerMode() const { return FanswerMode; }
    void setAnswerMode(bool value) { FanswerMode = value; }

    TDecorator* decorator() const { return Fdecorator.get(); }
    void setDecorator(std::unique_ptr<TDecorator> value) { Fdecorator = std::move(value); }
    TBlockEmitter* codeBlockEmitter() const { return FcodeBlockEmitter.get(); }
    void setCodeBlockEmitter(std::unique_ptr<TBlockEmitter> value) {
        FcodeBlockEmitter = std::move(value);
    }
    TSpanEmitter* specialLinkEmitter() const { return FspecialLinkEmitter.get(); }
    void setSpecialLinkEmitter(std::unique_ptr<TSpanEmitter> value) {
        FspecialLinkEmitter = std::move(value);
    }

private:
    std::unique_ptr<TDecorator> Fdecorator;
    TMarkdownProcessorDialect FDialect = mdClassic;
    bool FsafeMode;
    bool FallowSpacesInFencedDelimiters = true;
    std::unique_ptr<TBlockEmitter> FcodeBlockEmitter;
    bool FpanicMode = false;
    std::unique_ptr<TSpanEmitter> FspecialLinkEmitter;
    bool FremoteImagesAsLinks = false;
    MathMode FmathMode = MathMode::Image;
    bool FanswerMode = false;
};
