// The top-level error handler: an exception must not cross Qt's event dispatch, so every command and
// every window's creation runs inside runCommand, which shows what went wrong and carries on.
#pragma once
#include <exception>
#include <new>
#include <string>

#include <QString>

#include "qtedge/qtext.h"

class QWidget;

// Title of the error box and of the application.
QString applicationTitle();

// Shows text (code page 932) in a critical box with the application title, after the "." rule.
void showErrorBox(QWidget* parent, const std::string& cp932Text);

// Shows "メモリが足りません" in the error box.
void showOutOfMemoryBox(QWidget* parent);

// Shows a message that is already Unicode, after the same "." rule.
void showUnicodeErrorBox(QWidget* parent, const QString& text);

// The text shown for a failure that carries no message of its own (code page 932).
const std::string& unknownError();

// Runs f; an exception is shown in the error box. True when f ended normally.
template <class F>
bool runCommand(QWidget* parent, F&& f) {
    try {
        f();
        return true;
    } catch (const std::bad_alloc&) {
        showOutOfMemoryBox(parent);
    } catch (const NoCp932Form& e) {
        showUnicodeErrorBox(parent, e.message());
    } catch (const std::exception& e) {
        showErrorBox(parent, e.what());
    } catch (...) {
        showErrorBox(parent, unknownError());
    }
    return false;
}
