#pragma once

#include <QString>

// Where an API key is made; the welcome page and the missing-key message point there.
QString KeyPageAddress();

// The page shown in place of the chat while no key is chosen: what the program is, how
// to get a key and how to send. A whole document of its own, with nothing fetched from
// anywhere; its one link opens in the user's browser.
const QString& WelcomePageHtml();
