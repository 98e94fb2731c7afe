// The top-level error handler: an exception must not cross Qt's event dispatch, so every command and
// every window's creation runs inside runCommand, which shows what went wrong and carries on.
#pragma once
#include <exception>
#include <string>

#include <QString>

#include "qtedge/qtext.h"

class QWidget;

// Title of the error box and of the application.
QString applicationTitle();

// Shows text (code page 932) in a critical box with the application title, after the "." rule.
void showErrorBox(QWidget* parent, const std::string& cp932Text);

// Shows a message that is already Unicode, after the same "." rule.
void showUnicodeErrorBox(QWidget* parent, const QString& text);

// Runs f; an exception is shown in the error box. True when f ended normally.
template <class F>
bool runCommand(QWidget* parent, F&& f) {
    try {
        f();
        return true;
    } catch (const NoCp932Form& e) {
        showUnicodeErrorBox(parent, e.message());
    } catch (const std::exception& e) {
        showErrorBox(parent, e.what());
    } catch (...) {
        showErrorBox(parent, "unknown error");
    }
    return false;
}
