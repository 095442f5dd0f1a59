#include "app/appearance.h"

#include <QPalette>
#include <QWidget>

#include "fs/ordinaryfile.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/skinframework.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

const QString kSkinTail = QStringLiteral("/x/o.cjs");

// The invisible skin component of the window, made on first use.
SkinFramework& skinFrameworkOf(QWidget& form) {
    const QString name = QStringLiteral("SkinFramework1");
    if (auto* skin = form.findChild<SkinFramework*>(name, Qt::FindDirectChildrenOnly))
        return *skin;
    auto* skin = new SkinFramework(&form);
    skin->setObjectName(name);
    return *skin;
}

}  // namespace

void ApplySkin(Window& window) {
    const QString& programFolder = window.platform.programFolder;
    const QString skinPath = programFolder + kSkinTail;
    // Only an ordinary file counts: a hidden or system file, or a folder of
    // that name, means no skin, silently.
    if (!isOrdinaryFile(programFolder, kSkinTail))
        return;
    // The face turns first, so a skin that then fails to load still leaves
    // the window in the colour of a skinned one.
    QPalette face = window.form.palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    window.form.setPalette(face);
    SkinFramework& skin = skinFrameworkOf(window.form);
    skin.LoadSkin(skinPath, QString());
    skin.SetOptions(skin.Options() | SkinFramework::kSkinControls);
    skin.SetFlatControls(true);
    skin.SetHoverHighlight(true);
    skin.ApplyWindow(window.form.winId());
}

void hoverOverButton(MousePointer& pointer) {
    if (pointer.busy())
        return;
    pointer.set(MousePointer::Custom);
}

void hoverOverStartButton(MousePointer& pointer) {
    // The one way out of a busy pointer during a search: over "Stop" the hand
    // shows, so the user sees the button can be pressed.
    pointer.set(MousePointer::Custom);
}

void hoverOverBareArea(MousePointer& pointer) {
    if (pointer.busy())
        return;
    pointer.set(MousePointer::Default);
}

}  // namespace tarnwell
