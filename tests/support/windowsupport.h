#pragma once

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

} // namespace kvrtest
