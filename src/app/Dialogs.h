#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every message box, question and file dialog of the window goes through here,
// so tests can script the user's answers.
class Dialogs {
public:
    enum class QuestionIcon { Question, Warning };

    virtual ~Dialogs() = default;

    virtual void ShowMessage(const QString& text) = 0;
    // True when the user answers Yes.
    virtual bool AskYesNo(const QString& text, QuestionIcon icon) = 0;
    // Several files at once; empty when the user cancels. `filter` uses Qt's
    // "Description (*.a *.b);;..." form.
    virtual QStringList GetOpenFileNames(const QString& title, const QString& filter) = 0;
    // Where to save a file, starting from a suggested name; empty when the user cancels. A
    // name given without an extension gets the one of the filter chosen.
    virtual QString GetSaveFileName(const QString& title, const QString& suggestedName,
                                    const QString& filter) = 0;
    // A line of text, starting from `text`; nothing when the user cancels. An empty line
    // the user confirms is an answer.
    virtual std::optional<QString> GetText(const QString& title, const QString& label,
                                           const QString& text) = 0;
};

// The real dialogs, modal over the main window.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}

    void setParent(QWidget* parent) { m_parent = parent; }

    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text, QuestionIcon icon) override;
    QStringList GetOpenFileNames(const QString& title, const QString& filter) override;
    QString GetSaveFileName(const QString& title, const QString& suggestedName,
                            const QString& filter) override;
    std::optional<QString> GetText(const QString& title, const QString& label,
                                   const QString& text) override;

private:
    QWidget* m_parent;
};
