#include "ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace tarnwell {

namespace {

// Message texts use bare CRs and CR LFs as line breaks; a label breaks only at LF.
QString displayText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

class QtFolderBrowser : public FolderBrowser {
public:
    explicit QtFolderBrowser(QFileDialog& dialog) : dialog_(dialog) {}
    void setSelection(const QString& folder) override {
        // Anything but an existing folder leaves the dialog where it starts.
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            dialog_.setDirectory(folder);
    }

private:
    QFileDialog& dialog_;
};

}  // namespace

int QtDialogs::msgBox(const QString& text, int style, const QString& title) {
    QMessageBox box(owner_);
    box.setWindowTitle(title);
    // Paths may hold '<' or '&'; never let a file name be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon((style & vbExclamation) == vbExclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon);
    if ((style & 0x7) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    QInputDialog dialog(owner_);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

QString QtDialogs::saveFileName(const SaveFileRequest& request) {
    QFileDialog dialog(owner_, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    // The command asks its own overwrite question and wants the name as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString());
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::browseForFolder(const QString& prompt, const BrowseWatcher& watcher) {
    QFileDialog dialog(owner_, prompt);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (watcher) {
        QtFolderBrowser browser(dialog);
        watcher(browser, BFFM_INITIALIZED);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

}  // namespace tarnwell
