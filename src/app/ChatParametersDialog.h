#pragma once

#include "service/ChatParameters.h"
#include "text/Expected.h"

#include <QDialog>

#include <array>
#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QSpinBox;

// "Параметры чата": the system instruction, the generation settings, thinking and the
// safety thresholds of the open chat. "Сделать параметрами по умолчанию" keeps the values
// shown for new chats (through the window), "Сбросить" shows the built-in defaults.
class ChatParametersDialog final : public QDialog {
    Q_OBJECT

public:
    // Keeps the values as the defaults of new chats; the message says why not.
    using MakeDefault = std::function<Expected<void>(const ChatParameters&)>;

    ChatParametersDialog(const ChatParameters& current, const QString& modelName,
                         MakeDefault makeDefault, QWidget* parent = nullptr);

    // The values as entered.
    ChatParameters Parameters() const;

private:
    void CreateControls();
    void Show(const ChatParameters& parameters);
    void ThinkingChanged();

    MakeDefault m_makeDefault;
    // The model takes a thinking level, not a budget.
    bool m_thinkingLevel = false;
    QPlainTextEdit* m_instruction = nullptr;
    QDoubleSpinBox* m_temperature = nullptr;
    QDoubleSpinBox* m_topP = nullptr;
    QSpinBox* m_topK = nullptr;
    QSpinBox* m_maxTokens = nullptr;
    QComboBox* m_thinking = nullptr;
    QSpinBox* m_thinkingBudget = nullptr;
    std::array<QComboBox*, 4> m_safety = {};
    QLabel* m_result = nullptr;
};
