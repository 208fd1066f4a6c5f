#pragma once

class QWidget;

// A desktop session (or `kill`) ends the program with SIGTERM, SIGINT or SIGHUP; each
// closes the window as the user would, so the current chat is saved first.
void CloseOnTerminationSignals(QWidget& window);
