#include "app/form1.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include "app/appearance.h"
#include "app/apptitle.h"
#include "app/clearhelp.h"
#include "desktop/windowframe.h"
#include "errors/errortrap.h"
#include "fs/files.h"
#include "results/clipboardexport.h"
#include "results/fileactions.h"
#include "results/filters.h"
#include "results/resultactions.h"
#include "results/spreadsheetexport.h"
#include "results/textexport.h"
#include "searchlist/editing.h"
#include "searchlist/folderpicker.h"
#include "ui/cursorfile.h"
#include "ui/dialogs.h"
#include "ui/keycodes.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"
#include "ui/services.h"
#include "ui/titlebar.h"

// The icons are compiled into the static core library, which the linker
// would otherwise leave unregistered.
static void initResources() {
    Q_INIT_RESOURCE(tarnwell);
}

namespace tarnwell {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 15960;
constexpr int kClientHeightTwips = 5970;
// States in which the window system sets the window's size.
constexpr Qt::WindowStates kResized = Qt::WindowMaximized | Qt::WindowFullScreen;

const QString kListToolTip = QStringLiteral(
    "Double-click item to remove it. Move | line to right and out of window to reveal full "
    "names.");

// Positions and sizes in twips, as the window was designed.
struct Placement {
    int left, top, width, height;
};

// A plain QWidget reads as a "filler" to a screen reader; the main window
// is announced as the window it is.
QAccessibleInterface* mainWindowAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("tarnwell::Form1") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

// Below the window's own title bar, where it draws one.
void place(QWidget* control, Placement p) {
    const int below = control->parentWidget()->findChild<TitleBar*>() ? TitleBar::kHeight : 0;
    control->setGeometry(p.left / kTwipsPerPixel, below + p.top / kTwipsPerPixel,
                         p.width / kTwipsPerPixel, p.height / kTwipsPerPixel);
}

QFont arialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// Only the Delete key matters to the lists; other keys map to codes that can
// never be taken for it (the full stop's Qt code is also 46).
int vbKeyCode(const QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Delete)
        return vbKeyDelete;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    return 0;
}

int vbShiftState(const QInputEvent* event) {
    const Qt::KeyboardModifiers m = event->modifiers();
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tarnwell-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace

Form1::Form1(Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      services_(services),
      pointer_(*this),
      searchRun_(services.sambaShares) {
    initResources();
    static const bool accessibleAsWindow = [] {
        QAccessible::installFactory(mainWindowAccessible);
        return true;
    }();
    Q_UNUSED(accessibleAsWindow);
    setObjectName(QStringLiteral("Form1"));
    createControls();
    window_ = std::make_unique<Window>(
        Window{*this, *ListView1, *ListView2, *PushButton1, *ProgressBar1, pointer_, services_});
}

Form1::~Form1() = default;

void Form1::createControls() {
    const QSize client(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
    setFixedSize(client);
    if (!windowSystemDrawsTitleBar()) {
        // Alone: beside a button hint, Qt would drop it again.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setFixedSize(client + QSize(0, (new TitleBar(this))->height()));
    }
    setFont(arialBold(9));
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);
    setMouseTracking(true);

    auto makeList = [&](const char* name, bool checkable, Placement p) {
        auto* list = new ListControl(checkable, this);
        list->setObjectName(QLatin1String(name));
        list->setFont(arialBold(9));
        list->setToolTip(kListToolTip);
        // Every part of a list counts as the list: its frame, header, scroll
        // bars and corner are widgets of their own, and a move over a widget
        // that does not track the mouse is dropped, not passed to its parent.
        list->setMouseTracking(true);
        list->installEventFilter(this);
        for (QWidget* part : list->findChildren<QWidget*>()) {
            part->setMouseTracking(true);
            part->installEventFilter(this);
        }
        place(list, p);
        return list;
    };
    auto makeButton = [&](const char* name, const char* caption, Placement p) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QLatin1String(name));
        button->setFont(arialBold(11.25));
        button->setMouseTracking(true);
        button->setAutoDefault(false);
        button->installEventFilter(this);
        place(button, p);
        return button;
    };

    // In tab order.
    ListView1 = makeList("ListView1", false, {120, 120, 7800, 3700});
    PushButton3 = makeButton("PushButton3", "Add Drive/Folder To Search", {120, 3920, 3840, 405});
    PushButton1 = makeButton("PushButton1", "Start Finding", {120, 4940, 7800, 405});
    PushButton8 = makeButton("PushButton8", "Clear List", {4080, 3920, 3840, 405});
    PushButton9 = makeButton("PushButton9", "Help", {120, 4430, 3840, 405});
    PushButton11 =
        makeButton("PushButton11", "Load Sample/Example Folder", {4080, 4430, 3840, 405});
    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setText(QStringLiteral("Progress Bar"));
    place(ProgressBar1, {120, 5460, 15720, 405});
    ListView2 = makeList("ListView2", true, {8040, 120, 7800, 3700});
    ListView2->AllowSelectingSeveral();
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView2, &QWidget::customContextMenuRequested, this, &Form1::ListView2_ContextMenu);
    ListView2->entries().setEntryToolTip([](std::uint8_t reason) {
        const QString why = hiddenReasonText(reason);
        return why.isEmpty() ? kListToolTip : kListToolTip + QLatin1Char('\n') + why;
    });
    PushButton2 = makeButton("PushButton2", "Save Results As Text File", {8040, 3920, 3840, 405});
    PushButton6 = makeButton("PushButton6", "Clear Results", {8040, 4430, 3840, 405});
    PushButton17 =
        makeButton("PushButton17", "Remove Results Containing X", {8040, 4940, 3840, 405});
    PushButton4 =
        makeButton("PushButton4", "Remove Results Not Containing X", {12000, 4940, 3840, 405});
    PushButton5 = makeButton("PushButton5", "Copy Results To Clipboard", {12000, 4430, 3840, 405});
    PushButton14 =
        makeButton("PushButton14", "Save Results As Excel File", {12000, 3920, 3840, 405});

    QWidget* order[] = {ListView1,    PushButton3,  PushButton1, PushButton8, PushButton9,
                        PushButton11, ProgressBar1, ListView2,   PushButton2, PushButton6,
                        PushButton17, PushButton4,  PushButton5, PushButton14};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton17, &QPushButton::clicked, this, &Form1::PushButton17_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton14, &QPushButton::clicked, this, &Form1::PushButton14_Click);
}

ErrorTrap Form1::trap(const char* procedure) {
    return ErrorTrap(services_.dialogs, QStringLiteral("Form1"), QLatin1String(procedure));
}

void Form1::Form_Load() {
    ErrorTrap trap = this->trap("Form_Load");
    trap.run(2, [&] { ApplySkin(window()); });
    trap.run(3, [&] { setWindowTitle(kProductName); });
    trap.run(4, [&] { setWindowIcon(programIcon()); });
    trap.run(5, [&] { services_.appTitle = applicationTitleFor(kProductName); });
    const QString cursorPath = services_.programFolder + QStringLiteral("/HAND-M.CUR");
    if (FileExists(cursorPath))
        trap.run(7, [&] { pointer_.setCustomImage(loadCursorFile(cursorPath)); });
    trap.run(8, [&] { ListView1->AddColumn(QStringLiteral("Folder(s)")); });
    trap.run(9, [&] { ListView1->SetColumnWidth(1, 6700); });
    trap.run(10, [&] { ListView2->AddColumn(QStringLiteral("Results")); });
    trap.run(11, [&] { ListView2->SetColumnWidth(1, 7300); });
}

void Form1::showCentred() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
}

void Form1::PushButton1_Click() {
    ErrorTrap trap = this->trap("PushButton1_Click");
    startOrStopSearch(window(), searchRun_, trap);
}

void Form1::PushButton3_Click() {
    ErrorTrap trap = this->trap("PushButton3_Click");
    addFolderToSearchList(window(), trap);
}

void Form1::PushButton8_Click() {
    ErrorTrap trap = this->trap("PushButton8_Click");
    clearSearchList(window(), trap);
}

void Form1::PushButton9_Click() {
    ErrorTrap trap = this->trap("PushButton9_Click");
    showHelp(window(), trap);
}

void Form1::PushButton11_Click() {
    ErrorTrap trap = this->trap("PushButton11_Click");
    loadSampleFolders(window(), trap);
}

void Form1::PushButton2_Click() {
    ErrorTrap trap = this->trap("PushButton2_Click");
    saveResultsAsTextFile(window(), trap);
}

void Form1::PushButton6_Click() {
    ErrorTrap trap = this->trap("PushButton6_Click");
    clearResults(window(), trap);
}

void Form1::PushButton17_Click() {
    ErrorTrap trap = this->trap("PushButton17_Click");
    askAndRemoveResultsContaining(window(), trap);
}

void Form1::PushButton4_Click() {
    ErrorTrap trap = this->trap("PushButton4_Click");
    askAndRemoveResultsNotContaining(window(), trap);
}

void Form1::PushButton5_Click() {
    ErrorTrap trap = this->trap("PushButton5_Click");
    copyResultsToClipboard(window(), trap);
}

void Form1::PushButton14_Click() {
    ErrorTrap trap = this->trap("PushButton14_Click");
    saveResultsAsWorkbook(window(), trap);
}

void Form1::ListView1_DblClick() {
    removeSelectedEntry(window(), *ListView1);
}

void Form1::ListView1_KeyDown(int keyCode, int /*shift*/) {
    removeSelectedEntryOnKey(window(), *ListView1, keyCode);
}

void Form1::ListView1_MouseMove() {
    restorePointerOverList(window());
}

void Form1::ListView2_DblClick() {
    removeSelectedEntry(window(), *ListView2);
}

void Form1::ListView2_KeyDown(int keyCode, int shift) {
    if (keyCode == vbKeyDelete && shift == vbShiftMask)
        moveSelectedResultsToTrash(window());
    else
        removeSelectedEntryOnKey(window(), *ListView2, keyCode);
}

void Form1::ListView2_MouseMove() {
    restorePointerOverList(window());
}

void Form1::ListView2_ContextMenu(const QPoint& position) {
    showResultMenu(window(), position);
}

void Form1::PushButton1_MouseMove() {
    hoverOverStartButton(pointer_);
}

void Form1::PushButton_MouseMove() {
    hoverOverButton(pointer_);
}

void Form1::Form_MouseMove() {
    hoverOverBareArea(pointer_);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Form_Unload: the program ends at once, even in the middle of a command.
    event->accept();
    if (services_.endProgram)
        services_.endProgram();
}

void Form1::changeEvent(QEvent* event) {
    // The window's size is fixed, yet a compositor may maximise it all the
    // same (weston does when asked): it is asked at once for its size back.
    if (event->type() == QEvent::WindowStateChange && (windowState() & kResized))
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~kResized); }, Qt::QueuedConnection);
    QWidget::changeEvent(event);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    // Moves that a control ignored reach the window too; only the bare area
    // between the controls counts as the window's own.
    if (!childAt(event->position().toPoint()))
        Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const auto listOf = [&](QObject* o) -> ListControl* {
        auto* widget = qobject_cast<QWidget*>(o);
        for (ListControl* list : {ListView1, ListView2})
            if (widget && (widget == list || list->isAncestorOf(widget)))
                return list;
        return nullptr;
    };
    switch (event->type()) {
        case QEvent::MouseMove:
            if (watched == PushButton1)
                PushButton1_MouseMove();
            else if (qobject_cast<QPushButton*>(watched))
                PushButton_MouseMove();
            else if (ListControl* list = listOf(watched))
                list == ListView1 ? ListView1_MouseMove() : ListView2_MouseMove();
            break;
        case QEvent::MouseButtonDblClick:
            if (ListControl* list = listOf(watched); list && watched == list->viewport())
                list == ListView1 ? ListView1_DblClick() : ListView2_DblClick();
            break;
        case QEvent::KeyPress:
            if (ListControl* list = listOf(watched); list && watched == list) {
                const auto* key = static_cast<QKeyEvent*>(event);
                list == ListView1 ? ListView1_KeyDown(vbKeyCode(key), vbShiftState(key))
                                  : ListView2_KeyDown(vbKeyCode(key), vbShiftState(key));
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnwell
