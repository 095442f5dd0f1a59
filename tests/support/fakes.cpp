#include "support/fakes.h"

#include "errors/errortrap.h"

namespace tarnwell::test {

void FakeDialogs::opened(const Box& box) {
    boxes.push_back(box);
    if (whileOpen)
        whileOpen(box);
}

int FakeDialogs::msgBox(const QString& text, int style, const QString& title) {
    opened({QStringLiteral("msgBox"), text, style, title});
    const bool question = (style & 0x7) == vbYesNo;
    if (answers.empty())
        return question ? vbNo : vbOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

QString FakeDialogs::inputBox(const QString& prompt, const QString& title,
                              const QString& /*defaultText*/) {
    opened({QStringLiteral("inputBox"), prompt, 0, title});
    if (inputs.empty())
        return QString();
    QString answer = inputs.front();
    inputs.pop_front();
    return answer;
}

QString FakeDialogs::saveFileName(const SaveFileRequest& request) {
    saveRequests.push_back(request);
    opened({QStringLiteral("save"), request.title, 0, request.title});
    if (saveNames.empty())
        return QString();
    QString answer = saveNames.front();
    saveNames.pop_front();
    return answer;
}

namespace {
struct RecordingBrowser : FolderBrowser {
    QString selection;
    void setSelection(const QString& folder) override { selection = folder; }
};
}  // namespace

QString FakeDialogs::browseForFolder(const QString& prompt, const BrowseWatcher& watcher) {
    RecordingBrowser browser;
    if (watcher)
        watcher(browser, BFFM_INITIALIZED);
    browseStarts.push_back(browser.selection);
    opened({QStringLiteral("browse"), prompt, 0, prompt});
    if (folders.empty())
        return QString();
    QString answer = folders.front();
    folders.pop_front();
    return answer;
}

std::vector<Box> FakeDialogs::messages() const {
    std::vector<Box> out;
    for (const Box& b : boxes)
        if (b.kind == QLatin1String("msgBox"))
            out.push_back(b);
    return out;
}

int FakeDialogs::countContaining(const QString& fragment) const {
    int n = 0;
    for (const Box& b : boxes) n += b.text.contains(fragment) ? 1 : 0;
    return n;
}

int FakeDialogs::errorReports(const QString& where, const QString& description) const {
    int n = 0;
    for (const Box& b : messages())
        n += b.title == kErrorReportTitle && b.style == vbExclamation &&
             b.text.contains(QLatin1Char('.') + where + QLatin1String(" at line ")) &&
             (description.isEmpty() || b.text.startsWith(description + QLatin1String("\r\n")));
    return n;
}

QString FakeSettings::GetSetting(const QString& appName, const QString& section, const QString& key,
                                 const QString& defaultValue) {
    auto it = values.find(appName + QLatin1Char('/') + section + QLatin1Char('/') + key);
    return it == values.end() ? defaultValue : it->second;
}

bool FakeClipboard::clear() {
    ++clears;
    if (busyAttempts > 0) {
        --busyAttempts;
        return false;
    }
    text.clear();
    return true;
}

bool FakeClipboard::setText(const QString& t) {
    ++sets;
    if (busyAttempts > 0) {
        --busyAttempts;
        return false;
    }
    text = t;
    return true;
}

Harness::Harness(const QString& programFolder, bool load)
    : services{dialogs, yield, settings, clipboard, shell} {
    services.endProgram = [this] { ++endCalls; };
    services.programFolder = programFolder.isEmpty() ? programDir.path() : programFolder;
    form = std::make_unique<Form1>(services);
    if (load)
        form->Form_Load();
}

Harness::~Harness() = default;

}  // namespace tarnwell::test
