#pragma once

#include <QStringList>
#include <QtTest>

#include "ui/listcontrol.h"

namespace tarnwell::test {

inline void fillList(ListControl& list, const QStringList& texts) {
    for (const QString& t : texts) list.Add(t);
    list.entries().publish();  // the view shows them at once
}

inline QStringList textsOf(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}

// A click, or a double-click, on the row of the entry at a 1-based position.
inline void clickEntry(ListControl& list, int index, bool twice = false) {
    const QPoint at = list.visualRect(list.model()->index(index - 1, 0)).center();
    twice ? QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at)
          : QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
}

}  // namespace tarnwell::test
