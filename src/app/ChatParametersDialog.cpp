#include "app/ChatParametersDialog.h"

#include "app/Controls.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

using namespace Qt::StringLiterals;

// Shown for zero in the boxes whose value may be left out of the request.
const QString kNotSent = u"не задано"_s;
constexpr int kMostOutputTokens = 2'000'000;

// The thinking choices: what the box shows and what it stands for.
struct ThinkingChoice {
    const char16_t* caption;
    ThinkingMode mode;
};
constexpr ThinkingChoice kBudgetChoices[] = {{u"Авто", ThinkingMode::Auto},
                                             {u"Выключены", ThinkingMode::Off},
                                             {u"Бюджет токенов", ThinkingMode::Budget}};
constexpr ThinkingChoice kLevelChoices[] = {{u"Авто", ThinkingMode::Auto},
                                            {u"Низкий", ThinkingMode::Low},
                                            {u"Высокий", ThinkingMode::High}};

constexpr const char16_t* kCategoryCaptions[] = {u"Оскорбления", u"Разжигание ненависти",
                                                 u"Откровенно сексуальное", u"Опасное"};
constexpr const char16_t* kThresholdCaptions[] = {u"Не блокировать", u"Только высокий риск",
                                                  u"Средний риск и выше", u"Низкий риск и выше",
                                                  u"Фильтр выключен"};

QDoubleSpinBox* fraction(const char* name, double most, QWidget* parent) {
    QDoubleSpinBox* box = named(new QDoubleSpinBox(parent), name);
    box->setRange(0, most);
    box->setSingleStep(0.05);
    box->setDecimals(2);
    return box;
}

QSpinBox* optionalCount(const char* name, int most, QWidget* parent) {
    QSpinBox* box = named(new QSpinBox(parent), name);
    box->setRange(0, most);
    box->setSpecialValueText(kNotSent);
    return box;
}

} // namespace

ChatParametersDialog::ChatParametersDialog(const ChatParameters& current, const QString& modelName,
                                           MakeDefault makeDefault, QWidget* parent)
    : QDialog(parent), m_makeDefault(std::move(makeDefault)),
      m_thinkingLevel(TakesThinkingLevel(modelName)) {
    setObjectName(u"ChatParametersDialog"_s);
    setWindowTitle(u"Параметры чата"_s);
    CreateControls();
    Show(current);
    resize(sizeHint().width(), minimumSizeHint().height());
}

void ChatParametersDialog::CreateControls() {
    m_instruction = named(new QPlainTextEdit(this), "systemInstruction");
    m_instruction->setPlaceholderText(u"Например: отвечай кратко и по-русски"_s);
    m_instruction->setTabChangesFocus(true);
    // Five lines: the dialog then fits over the smallest window; the box grows with it.
    m_instruction->setMinimumHeight(m_instruction->fontMetrics().lineSpacing() * 5 + 12);
    m_instruction->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::MinimumExpanding);
    m_temperature = fraction("temperature", ChatParameters::kMaxTemperature, this);
    m_topP = fraction("topP", 1, this);
    m_topK = optionalCount("topK", ChatParameters::kMaxTopK, this);
    m_maxTokens = optionalCount("maxOutputTokens", kMostOutputTokens, this);
    m_maxTokens->setSingleStep(1000);
    m_thinking = named(new QComboBox(this), "thinking");
    for (const ThinkingChoice& choice : m_thinkingLevel ? kLevelChoices : kBudgetChoices)
        m_thinking->addItem(QString::fromUtf16(choice.caption), int(choice.mode));
    m_thinkingBudget = named(new QSpinBox(this), "thinkingBudget");
    m_thinkingBudget->setRange(1, ChatParameters::kMaxThinkingBudget);
    m_thinkingBudget->setSingleStep(512);
    m_thinkingBudget->setVisible(!m_thinkingLevel);
    connect(m_thinking, &QComboBox::currentIndexChanged, this,
            &ChatParametersDialog::ThinkingChanged);
    auto* thinkingRow = new QHBoxLayout;
    thinkingRow->addWidget(m_thinking, 1);
    thinkingRow->addWidget(m_thinkingBudget, 1);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(u"Системная инструкция"_s, m_instruction);
    form->addRow(u"Температура"_s, m_temperature);
    form->addRow(u"Top-P"_s, m_topP);
    form->addRow(u"Top-K"_s, m_topK);
    form->addRow(u"Макс. токенов ответа"_s, m_maxTokens);
    form->addRow(u"Размышления"_s, thinkingRow);

    auto* safety = named(new QGroupBox(u"Фильтры безопасности"_s, this), "safetyFilters");
    auto* safetyForm = new QFormLayout(safety);
    for (size_t i = 0; i < m_safety.size(); ++i) {
        m_safety[i] = new QComboBox(safety);
        m_safety[i]->setObjectName(QString(kHarmCategories[i]));
        for (const char16_t* caption : kThresholdCaptions)
            m_safety[i]->addItem(QString::fromUtf16(caption));
        safetyForm->addRow(QString::fromUtf16(kCategoryCaptions[i]), m_safety[i]);
    }

    m_result = named(new QLabel(this), "parametersResult");
    m_result->setWordWrap(true);
    auto* makeDefault = button("btnMakeDefault", u"Сделать параметрами по умолчанию"_s, this);
    makeDefault->setToolTip(u"Новые чаты начнутся с этих значений"_s);
    auto* reset = button("btnReset", u"Сбросить"_s, this);
    reset->setToolTip(u"Показать значения, с которыми программа поставляется"_s);
    connect(reset, &QPushButton::clicked, this, [this] { Show(ChatParameters()); });
    connect(makeDefault, &QPushButton::clicked, this, [this] {
        const Expected<void> kept = m_makeDefault(Parameters());
        m_result->setText(kept ? u"Новые чаты начнутся с этих параметров."_s : kept.error());
    });
    auto* defaults = new QHBoxLayout;
    defaults->addWidget(makeDefault);
    defaults->addWidget(reset);
    defaults->addStretch(1);

    auto* buttons = named(new QDialogButtonBox(this), "buttonBox");
    buttons->addButton(u"Применить"_s, QDialogButtonBox::AcceptRole)->setObjectName(u"btnApply"_s);
    buttons->addButton(u"Отмена"_s, QDialogButtonBox::RejectRole)->setObjectName(u"btnCancel"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addWidget(safety);
    layout->addLayout(defaults);
    layout->addWidget(m_result);
    layout->addWidget(buttons);
}

void ChatParametersDialog::Show(const ChatParameters& parameters) {
    m_instruction->setPlainText(parameters.SystemInstruction);
    m_temperature->setValue(parameters.Temperature);
    m_topP->setValue(parameters.TopP);
    m_topK->setValue(parameters.TopK.value_or(0));
    m_maxTokens->setValue(parameters.MaxOutputTokens.value_or(0));
    // A choice this model does not take (a level for a budget model, or the other way
    // round) shows as "Авто".
    const int index = m_thinking->findData(int(parameters.Thinking));
    m_thinking->setCurrentIndex(index < 0 ? 0 : index);
    m_thinkingBudget->setValue(qMax(1, parameters.ThinkingBudget));
    for (size_t i = 0; i < m_safety.size(); ++i)
        m_safety[i]->setCurrentIndex(parameters.SafetyThresholds[i]);
    ThinkingChanged();
}

void ChatParametersDialog::ThinkingChanged() {
    m_thinkingBudget->setEnabled(ThinkingMode(m_thinking->currentData().toInt()) ==
                                 ThinkingMode::Budget);
}

ChatParameters ChatParametersDialog::Parameters() const {
    ChatParameters parameters;
    parameters.SystemInstruction = m_instruction->toPlainText();
    // The spin boxes round to their two decimals; the value is kept as shown.
    parameters.Temperature = m_temperature->value();
    parameters.TopP = m_topP->value();
    parameters.TopK = m_topK->value() > 0 ? std::optional(m_topK->value()) : std::nullopt;
    parameters.MaxOutputTokens =
        m_maxTokens->value() > 0 ? std::optional(m_maxTokens->value()) : std::nullopt;
    parameters.Thinking = ThinkingMode(m_thinking->currentData().toInt());
    if (parameters.Thinking == ThinkingMode::Budget)
        parameters.ThinkingBudget = m_thinkingBudget->value();
    for (size_t i = 0; i < m_safety.size(); ++i)
        parameters.SafetyThresholds[i] = m_safety[i]->currentIndex();
    return parameters;
}
