#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

namespace tarnwell {

// The skin engine: a skin is a Qt style sheet kept in a file. The engine
// loads it, keeps a few options, and gives it to a window, found by its
// handle. The options reach the skin as properties of the window, so the
// style sheet decides what each one changes ([skinControls="true"], ...).
class SkinFramework : public QObject {
    Q_OBJECT
public:
    // Option flag: the skin reaches the window's controls, not only its face.
    static constexpr int kSkinControls = 1;

    explicit SkinFramework(QObject* parent = nullptr) : QObject(parent) {}

    // Loads the skin from the file. `section` would pick one skin of a file
    // that holds several; a style sheet file holds one, so only "" is known.
    // Fails with "Invalid skin file" when the file is not a style sheet.
    void LoadSkin(const QString& path, const QString& section);
    int Options() const { return options_; }
    void SetOptions(int flags) { options_ = flags; }
    // Flat push buttons and list frames.
    void SetFlatControls(bool on) { flatControls_ = on; }
    // Push buttons light up under the mouse.
    void SetHoverHighlight(bool on) { hoverHighlight_ = on; }
    // Gives the loaded skin to the window with the handle. Fails when no skin
    // is loaded or no window of this program has that handle.
    void ApplyWindow(WId handle);

    bool loaded() const { return loaded_; }
    const QString& styleSheet() const { return sheet_; }

private:
    QString sheet_;
    bool loaded_ = false;
    int options_ = 0;
    bool flatControls_ = false;
    bool hoverHighlight_ = false;
};

// The checks that a skin file passes before it is given to a window: UTF-8
// text without NUL characters, with its braces balanced outside comments and
// quoted strings. Qt accepts broken style sheets with a warning and draws the
// window half-styled; a skin file that is not one should be refused instead.
bool looksLikeStyleSheet(const QByteArray& content);

}  // namespace tarnwell
