#pragma once

#include "app/Dialogs.h"

#include <QList>
#include <QStringList>

#include <optional>

// Dialogs answered by the test: every message and question is recorded, and
// questions and file dialogs take their answers from queues (No / nothing when empty).
class ScriptedDialogs final : public Dialogs {
public:
    struct Question {
        QString text;
        QuestionIcon icon;
    };

    void ShowMessage(const QString& text) override { messages.append(text); }

    bool AskYesNo(const QString& text, QuestionIcon icon) override {
        questions.append({text, icon});
        return !answers.isEmpty() && answers.takeFirst();
    }

    QStringList GetOpenFileNames(const QString& title, const QString& filter) override {
        fileDialogs.append({title, filter});
        return fileSelections.isEmpty() ? QStringList() : fileSelections.takeFirst();
    }

    QString GetSaveFileName(const QString& title, const QString& suggestedName,
                            const QString& filter) override {
        saveDialogs.append({title, suggestedName, filter});
        return saveSelections.isEmpty() ? QString() : saveSelections.takeFirst();
    }

    std::optional<QString> GetText(const QString& title, const QString& label,
                                   const QString& text) override {
        textDialogs.append({title, label, text});
        return textAnswers.isEmpty() ? std::nullopt : textAnswers.takeFirst();
    }

    QStringList messages;
    QList<Question> questions;
    QList<bool> answers;
    QList<QStringList> fileDialogs; // title and filter of each file dialog shown
    QList<QStringList> fileSelections;
    QList<QStringList> saveDialogs; // title, suggested name and filter of each save dialog
    QStringList saveSelections;
    QList<QStringList> textDialogs; // title, label and starting text of each text dialog
    QList<std::optional<QString>> textAnswers; // nothing: cancelled
};
