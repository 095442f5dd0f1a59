#pragma once

class QPushButton;
class QWidget;

namespace tarnwell {

class ListControl;
class MousePointer;
class ProgressBar;
struct Services;

// What a command may reach of the main window, and the platform behind it.
struct Window {
    QWidget& form;
    ListControl& SearchList;
    ListControl& ResultsList;
    QPushButton& StartButton;
    ProgressBar& ProgressBar1;
    MousePointer& pointer;
    Services& platform;
};

}  // namespace tarnwell
