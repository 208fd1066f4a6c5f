#pragma once

#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/ChatView.h"
#include "app/MainWindow.h"

#include <QStringList>
#include <QTemporaryDir>

class ChatPage;

// The real main window, shown offscreen in temporary folders, that every window
// benchmark of this program works on.
struct BenchWindow {
    QTemporaryDir programDir;
    QTemporaryDir workingDir;
    QtDialogs dialogs;
    TGeminiDM geminiDM;
    TForm1 form{AppFolders{programDir.path(), workingDir.path()}, dialogs, geminiDM};
};

// The one window, made and shown by main before any benchmark runs.
BenchWindow& ShownWindow();

// Waits until the page has run everything asked of it and has laid itself out.
void WaitForLayout(ChatPage& page);

// Runs events until the window has been drawn on its screen.
void WaitUntilExposed(QWidget& window);

// CPU seconds used so far by this process and every process it started (the web
// engine's renderer does the layout), which unlike wall time does not depend on how
// busy the machine is.
double CpuSecondsWithChildren();

// The model answers of 2–20 KB in the Markdown corpus, in the order of their file names.
QStringList CorpusAnswers();
