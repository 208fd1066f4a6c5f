#pragma once

#include <cstddef>

// Fast searches over UTF-16 text, eight code units at a time where SSE2 is there. They only
// find candidates; the callers look at each candidate as before.

// The first position at or after p holding a code unit up to '\r' (the line reader's special
// characters are among them), or end.
const char16_t* findControl(const char16_t* p, const char16_t* end);

// The first position at or after p holding one of ! " $ & ( * + - . < = > [ \ ] ^ _ ` ~
// (the characters that can start an inline token) or other ASCII punctuation of the same
// ranges, or end.
const char16_t* findPunctuation(const char16_t* p, const char16_t* end);
