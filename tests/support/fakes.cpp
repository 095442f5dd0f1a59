#include "support/fakes.h"

#include <algorithm>

#include "errors/errortrap.h"

namespace tarnwell::test {

void FakeDialogs::show(const Box& box) {
    boxes.push_back(box);
    if (whileOpen)
        whileOpen(box);
}

int FakeDialogs::msgBox(const QString& text, int style, const QString& title) {
    show({"msgBox", text, style, title});
    return answers.empty() ? int((style & 0x7) == vbYesNo ? vbNo : vbOK) : take(answers);
}

std::vector<Box> FakeDialogs::messages() const {
    std::vector<Box> out;
    for (const Box& b : boxes)
        if (b.kind == QLatin1String("msgBox"))
            out.push_back(b);
    return out;
}

int FakeDialogs::countContaining(const QString& fragment) const {
    return int(std::count_if(boxes.begin(), boxes.end(),
                             [&](const Box& b) { return b.text.contains(fragment); }));
}

int FakeDialogs::errorReports(const QString& where, const QString& description) const {
    int n = 0;
    for (const Box& b : messages())
        n += b.title == kErrorReportTitle && b.style == vbExclamation &&
             b.text.contains(QLatin1Char('.') + where + QLatin1String(" at line ")) &&
             (description.isEmpty() || b.text.startsWith(description + QLatin1String("\r\n")));
    return n;
}

Harness::Harness(const QString& programFolder, Clipboard* realClipboard)
    : services{dialogs, yield, settings, realClipboard ? *realClipboard : clipboard, shell} {
    services.endProgram = [] {};
    services.programFolder = programFolder.isEmpty() ? programDir.path() : programFolder;
    form = std::make_unique<Form1>(services);
    form->Form_Load();
}

QStringList Harness::search(const QStringList& folders) {
    for (const QString& f : folders) searchList().Add(f);
    form->PushButton1_Click();
    return textsOf(results());
}

QMap<QString, int> Harness::reasonsBelow(const QString& folder) {
    const QStringList found = search({folder});
    QMap<QString, int> out;
    for (int i = 1; i <= found.size(); ++i)
        out.insert(found[i - 1].mid(folder.size() + 1), results().Tag(i));
    return out;
}

}  // namespace tarnwell::test
