// Every modal message of the main window passes through here, so that window tests can
// take the message instead of blocking on a box nobody will close.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace app {

enum class BoxKind { Information, Warning, Critical, Plain };

using MessageHook =
    std::function<void(QWidget* parent, BoxKind kind, const QString& title, const QString& text)>;

// Replaces the box with `hook`; an empty function restores the real box.
void setMessageHook(MessageHook hook);

// A modal box with one "OK" button; returns when the user has closed it.
void showMessage(QWidget* parent, BoxKind kind, const QString& title, const QString& text);

// The archive components' warning box ("Warning", one "OK" button), shown on the GUI
// thread. Called from a worker, it waits there until the user has closed the box.
void installWarningBox();
void removeWarningBox();

}  // namespace app
