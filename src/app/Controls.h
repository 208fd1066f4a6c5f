#pragma once

#include <QString>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

// How the window and its panels make their controls: each with its designer name, so
// tests and the accessibility tree find them.

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// White on a light desktop; on a dark one the panels stay dark like the page.
void paintWhite(QWidget* panel);
QWidget* whitePanel(const char* name, QWidget* parent);
// A label is as wide as its text, never clipped by its neighbours.
QLabel* label(const char* name, const QString& caption, QWidget* parent);
// A label whose text changes keeps the width of its widest text.
void reserveWidth(QLabel* label, const QString& widest);
QPushButton* button(const char* name, const QString& caption, QWidget* parent);
// An editable box whose Enter is handled by its owner, scrolling long texts inside.
QComboBox* editableCombo(const char* name, QWidget* parent);
QAction* menuItem(QMenu* menu, const char* name, const QString& caption);
QAction* menuSeparator(QMenu* menu, const char* name);
// Right click on the widget opens the menu where it was clicked.
void attachPopup(QWidget* widget, QMenu* menu);

// The width of the small "+" and "-" buttons.
constexpr int kSmallButtonWidth = 28;
