#include "support/results_workbook.h"

#include <QEvent>
#include <QProcess>
#include <QWidget>
#include <QXmlStreamReader>
#include <stdexcept>

#include "platform/failure.h"
#include "platform/pointer.h"

namespace tarnwell::test {

namespace {

class RecordingApp : public SpreadsheetApp {
public:
    explicit RecordingApp(std::vector<QString>& calls) : calls_(calls) {}
    void addWorkbook() override { calls_.push_back(QStringLiteral("add")); }
    void makeVisible() override { calls_.push_back(QStringLiteral("visible")); }
    void setCell(int row, int column, const QString& text) override {
        calls_.push_back(QStringLiteral("cell %1 %2 %3").arg(row).arg(column).arg(text));
    }
    void fitColumn(int column) override { calls_.push_back(QStringLiteral("fit %1").arg(column)); }
    void fitAllColumns() override { calls_.push_back(QStringLiteral("fit all")); }
    void finish() override { calls_.push_back(QStringLiteral("finish")); }

private:
    std::vector<QString>& calls_;
};

QByteArray unzip(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("unzip"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        throw std::runtime_error("unzip failed: " + args.join(' ').toStdString());
    return p.readAllStandardOutput();
}

QStringList sharedStrings(const QString& path, const QStringList& entries) {
    QStringList strings;
    if (!entries.contains(QStringLiteral("xl/sharedStrings.xml")))
        return strings;
    QXmlStreamReader xml(
        unzip({QStringLiteral("-p"), path, QStringLiteral("xl/sharedStrings.xml")}));
    QString current;
    bool inItem = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si")) {
            inItem = true;
            current.clear();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("t") && inItem) {
            current += xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("si")) {
            strings << current;
            inItem = false;
        }
    }
    return strings;
}

Workbook::Sheet readSheet(const QByteArray& data, const QStringList& strings) {
    Workbook::Sheet sheet;
    QXmlStreamReader xml(data);
    QString ref, type;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("col")) {
            const auto a = xml.attributes();
            for (int c = a.value("min").toInt(); c <= a.value("max").toInt(); ++c)
                sheet.widths[c] = a.value("width").toDouble();
        } else if (name == QLatin1String("c")) {
            ref = xml.attributes().value("r").toString();
            type = xml.attributes().value("t").toString();
            sheet.types[ref] = type;
        } else if (name == QLatin1String("f")) {
            sheet.hasFormula = true;
        } else if (name == QLatin1String("v")) {
            const QString v = xml.readElementText();
            sheet.cells[ref] = type == QLatin1String("s") ? strings.value(v.toInt()) : v;
        } else if (name == QLatin1String("t")) {
            sheet.cells[ref] += xml.readElementText();
        }
    }
    if (xml.hasError())
        throw std::runtime_error("sheet XML: " + xml.errorString().toStdString());
    return sheet;
}

}  // namespace

std::unique_ptr<SpreadsheetApp> FakeSpreadsheetHost::createApplication() {
    ++applications;
    if (!present)
        throw Failure(QStringLiteral("No spreadsheet application is installed"));
    return std::make_unique<RecordingApp>(calls);
}

Workbook readWorkbook(const QString& path) {
    Workbook book;
    book.entries = QString::fromUtf8(unzip({QStringLiteral("-Z1"), path}))
                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList strings = sharedStrings(path, book.entries);
    for (int n = 1; book.entries.contains(QStringLiteral("xl/worksheets/sheet%1.xml").arg(n));
         ++n) {
        book.sheets.push_back(readSheet(
            unzip({QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(n)}),
            strings));
    }
    return book;
}

PointerTrace::PointerTrace(QWidget& form, const MousePointer& pointer) : pointer_(pointer) {
    form.installEventFilter(this);
}

bool PointerTrace::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() == QEvent::CursorChange)
        values.push_back(pointer_.value());
    return false;
}

}  // namespace tarnwell::test
