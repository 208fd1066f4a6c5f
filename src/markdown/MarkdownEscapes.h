#pragma once

#include <QChar>

#include <array>
#include <cstdint>

// The characters a backslash escapes. Three readers use three slightly different sets, kept
// here side by side: running text (the inline scan), the text readers behind links, titles,
// entities and code (TUtils), and link definition lines.
enum EscapeSet { esRunningText, esReaders, esDefinitions };

namespace escapes {

struct Escapable {
    char ch;
    bool runningText;
    bool readers;
    bool definitions;
};

// clang-format off
constexpr Escapable kEscapable[] = {
    // char  running text  readers  definitions
    {'!',    true,         true,    true },
    {'"',    true,         true,    true },
    {'#',    true,         true,    true },
    {'$',    true,         false,   false},
    {'\'',   true,         true,    true },
    {'(',    true,         true,    true },
    {')',    true,         true,    true },
    {'*',    true,         true,    true },
    {'+',    true,         true,    true },
    {'-',    true,         true,    true },
    {'.',    true,         true,    true },
    {'<',    true,         true,    false},
    {'>',    true,         true,    true },
    {'[',    true,         true,    true },
    {'\\',   true,         true,    true },
    {']',    true,         true,    true },
    {'^',    true,         true,    false},
    {'_',    true,         true,    true },
    {'`',    true,         true,    true },
    {'{',    true,         true,    true },
    {'|',    true,         false,   false},
    {'}',    true,         true,    true },
    {'~',    true,         false,   true },
};
// clang-format on

// One bit per set for every ASCII character.
constexpr std::array<std::uint8_t, 128> kTable = [] {
    std::array<std::uint8_t, 128> table{};
    for (const Escapable& e : kEscapable)
        table[std::size_t(e.ch)] = std::uint8_t((e.runningText ? 1 << esRunningText : 0) |
                                                (e.readers ? 1 << esReaders : 0) |
                                                (e.definitions ? 1 << esDefinitions : 0));
    return table;
}();

} // namespace escapes

inline bool isEscapable(EscapeSet set, QChar ch) {
    const char16_t u = ch.unicode();
    return u < 128 && (escapes::kTable[u] >> set & 1);
}
