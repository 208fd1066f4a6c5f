#pragma once

#include <QString>

// The chat page: styles, the copy-button and typesetting script, the program's KaTeX and
// highlight.js (qrc:/page/) and the empty "chat-container" that message blocks are
// appended to. One string without line breaks, written whole.
const QString& ChatPageTemplate();

// The script of the page, exactly as it stands between its script tags.
const QString& ChatPageScript();

// The page's functions that typeset the formulas and highlight the code inside an element,
// typesetBlocks(root), with KaTeX and highlight.js when they have loaded.
const QString& TypesetBlocksScript();

// The page's style rules, exactly as they stand between the style tags.
const QString& ChatPageStyle();
