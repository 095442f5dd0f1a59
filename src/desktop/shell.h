#pragma once

#include <QString>

namespace tarnwell {

// Hands folders and files to the desktop: the file manager, the default
// application for a document.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool openFolder(const QString& folder) = 0;
    virtual bool openFile(const QString& file) = 0;
    // Opens a new, untitled document made from the file where the desktop's
    // application for it can do that, so that the user's Save asks where to
    // save; elsewhere opens the file itself.
    virtual bool openAsNewDocument(const QString& file) { return openFile(file); }
};

// The desktop entry ID of the desktop's default application for the type
// ("libreoffice-calc.desktop"); empty when there is none or no one to ask.
QString defaultApplicationForType(const QString& mimeType);

class DesktopShell : public Shell {
public:
    bool openFolder(const QString& folder) override;
    bool openFile(const QString& file) override;
    // LibreOffice makes the new document itself when given the file after
    // its option -n; every other application is handed the file as it is.
    bool openAsNewDocument(const QString& file) override;
};

}  // namespace tarnwell
