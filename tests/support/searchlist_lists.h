#pragma once

// Driving the lists as a user does: entries shown, one selected, a click or
// key delivered to the very widget that gets it on screen.

#include <QHeaderView>
#include <QStringList>
#include <QtTest>

#include "platform/listcontrol.h"

namespace tarnwell::test {

// Fills the list and lets the view show every entry.
inline void fillList(ListControl& list, const QStringList& texts) {
    for (const QString& t : texts) list.Add(t);
    list.entries().publish();
}

inline QStringList textsOf(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}

// Selects the entry at the 1-based position with a mouse click on its row.
inline void clickEntry(ListControl& list, int index) {
    const QRect row = list.visualRect(list.model()->index(index - 1, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
}

inline void doubleClickEntry(ListControl& list, int index) {
    const QRect row = list.visualRect(list.model()->index(index - 1, 0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row.center());
}

}  // namespace tarnwell::test
