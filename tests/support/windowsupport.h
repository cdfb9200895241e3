#pragma once

#include <QAccessible>
#include <QList>
#include <QStringList>
#include <QTableWidget>

class SubPlcInfo;

namespace kvrtest {

// The texts of one table row or list written as "a|b|c".
QStringList cells(const char *texts);

// The row the main window's debug action adds, column by column.
QStringList sampleRow();

// Each row of the table as its cell texts joined by '|'.
QStringList rowTexts(const QTableWidget *table);

// Clicks the named push button, or triggers the named action, of the window; false when it has none.
bool use(QWidget *window, const char *buttonOrAction);

// The detail windows on screen.
QList<SubPlcInfo *> shownDetailWindows();

// What assistive technology is told while an instance lives: accessibility is switched on as a
// screen reader's bridge would (on the offscreen platform none does), and every event the program
// raises is recorded. One instance at a time.
class AccessibilityEvents
{
public:
    AccessibilityEvents();
    ~AccessibilityEvents();

    // The names of the notifications that appeared: what Orca speaks.
    QStringList notificationsShown() const;
};

} // namespace kvrtest
