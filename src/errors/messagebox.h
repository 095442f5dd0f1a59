#pragma once

#include <QString>

namespace tarnwell {

// Message box styles and answers, numbered as the message box has always
// numbered them, since callers compare answers with these values.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbExclamation = 48,
};
enum MsgBoxAnswer : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

// What the error trap needs of the window: a message box. The window's
// Dialogs is one; keeping it this small lets the trap sit below the widgets.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a message box; returns vbOK, vbYes or vbNo.
    virtual int msgBox(const QString& text, int style, const QString& title) = 0;
};

}  // namespace tarnwell
