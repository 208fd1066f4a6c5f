#include "app/Controls.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

constexpr int kBoxMinimumCharacters = 8;

} // namespace

void paintWhite(QWidget* panel) {
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    panel->setPalette(palette);
}

QWidget* whitePanel(const char* name, QWidget* parent) {
    QWidget* panel = named(new QWidget(parent), name);
    paintWhite(panel);
    return panel;
}

QLabel* label(const char* name, const QString& caption, QWidget* parent) {
    QLabel* created = named(new QLabel(caption, parent), name);
    created->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    return created;
}

void reserveWidth(QLabel* label, const QString& widest) {
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest));
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    return named(new QPushButton(caption, parent), name);
}

QComboBox* editableCombo(const char* name, QWidget* parent) {
    QComboBox* combo = named(new QComboBox(parent), name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert); // Enter saves through the list handlers
    // Long keys and model names scroll inside the box instead of widening the window.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(kBoxMinimumCharacters);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption) {
    return named(menu->addAction(caption), name);
}

QAction* menuSeparator(QMenu* menu, const char* name) {
    return named(menu->addSeparator(), name);
}

void attachPopup(QWidget* widget, QMenu* menu) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, menu,
                     [widget, menu](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
}
