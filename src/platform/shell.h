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
};

class DesktopShell : public Shell {
public:
    bool openFolder(const QString& folder) override;
    bool openFile(const QString& file) override;
};

}  // namespace tarnwell
