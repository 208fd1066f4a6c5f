#pragma once

class QPalette;

// Whether the desktop asks for light text on a dark ground: its palette says so.
bool PrefersDarkColors(const QPalette& palette);

// Lets the chat page follow a dark desktop (its "prefers-color-scheme" media query).
// Call after the application object exists and before the first web view is made.
void FollowDesktopColorScheme();
