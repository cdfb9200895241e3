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

// A device table filled the way the main window fills it, and the one the windows read while it lives.
class DeviceTable : public QTableWidget
{
public:
    DeviceTable();
    ~DeviceTable() override;

    // Appends a row and selects it; the name cell keeps the reported name unless that is null.
    void addRow(const QStringList &cells, const QString &reportedName = {});
};

// The detail windows on screen.
QList<SubPlcInfo *> shownDetailWindows();

// What the window's named menu bars and menus show, one after the other ("menuBar|setBar"): each
// action's text (with its shortcut, if any) or "<separator>".
QStringList menuTexts(const QWidget *window, const char *menuNames);

} // namespace kvrtest
