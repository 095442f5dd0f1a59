#pragma once

#include <QWidget>
#include <memory>

#include "search/searchrun.h"
#include "ui/pointer.h"
#include "ui/window.h"

class QPushButton;

namespace tarnwell {

class ErrorTrap;
class ListControl;
class ProgressBar;
struct Services;

// The main window. Its controls and handlers keep their designer names; each
// handler is a thin entry that arms an error trap and calls the command that
// does the work, in the room of its subsystem.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: runs once, before the window is first shown.
    void Form_Load();
    // Shows the window centred on the screen.
    void showCentred();

    void PushButton1_Click();   // "Start Finding" / "Stop"
    void PushButton3_Click();   // "Add Drive/Folder To Search"
    void PushButton8_Click();   // "Clear List"
    void PushButton9_Click();   // "Help"
    void PushButton11_Click();  // "Load Sample/Example Folder"
    void PushButton2_Click();   // "Save Results As Text File"
    void PushButton6_Click();   // "Clear Results"
    void PushButton17_Click();  // "Remove Results Containing X"
    void PushButton4_Click();   // "Remove Results Not Containing X"
    void PushButton5_Click();   // "Copy Results To Clipboard"
    void PushButton14_Click();  // "Save Results As Excel File"

    void ListView1_DblClick();
    void ListView1_KeyDown(int keyCode, int shift);
    void ListView1_MouseMove();
    void ListView2_DblClick();
    void ListView2_KeyDown(int keyCode, int shift);
    void ListView2_MouseMove();
    void ListView2_ContextMenu(const QPoint& position);

    void PushButton1_MouseMove();
    void PushButton_MouseMove();  // every other push button
    void Form_MouseMove();

    ListControl* ListView1 = nullptr;  // the SearchList
    ListControl* ListView2 = nullptr;  // the ResultsList
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QPushButton* PushButton11 = nullptr;
    QPushButton* PushButton14 = nullptr;
    QPushButton* PushButton17 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;

    MousePointer& pointer() { return pointer_; }
    Window& window() { return *window_; }
    Services& services() { return services_; }
    SearchRunState& searchRun() { return searchRun_; }

protected:
    void closeEvent(QCloseEvent* event) override;  // Form_Unload
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    ErrorTrap trap(const char* procedure);

    Services& services_;
    MousePointer pointer_;
    std::unique_ptr<Window> window_;
    SearchRunState searchRun_;
};

}  // namespace tarnwell
