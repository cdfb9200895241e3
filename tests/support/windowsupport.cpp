#include "windowsupport.h"

#include "detail/subplcinfo.h"
#include "mainwindow/devicetable.h"

#include <QAction>
#include <QApplication>

namespace kvrtest {

QStringList cells(const char *texts)
{
    return QString::fromUtf8(texts).split(QLatin1Char('|'));
}

QStringList sampleRow()
{
    return cells("PLC|KV516_K|192.168.001.002|50:E5:49:CE:2E:4A|255.255.255.000|192.168.001.001|"
                 "001.000.000.000|00.16.00.00");
}

DeviceTable::DeviceTable() : QTableWidget(0, DeviceColumn::Count)
{
    g_deviceTable = this;
}

DeviceTable::~DeviceTable()
{
    if (g_deviceTable == this)
        g_deviceTable = nullptr;
}

void DeviceTable::addRow(const QStringList &cells, const QString &reportedName)
{
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < cells.size(); ++column)
        setItem(row, column, new QTableWidgetItem(cells.at(column)));
    if (!reportedName.isNull())
        item(row, DeviceColumn::Name)->setData(ReportedNameRole, reportedName);
    selectRow(row);
}

QList<SubPlcInfo *> shownDetailWindows()
{
    QList<SubPlcInfo *> shown;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *detail = qobject_cast<SubPlcInfo *>(widget); detail && detail->isVisible())
            shown.append(detail);
    }
    return shown;
}

QStringList menuTexts(const QWidget *window, const char *menuNames)
{
    QStringList texts;
    for (const QString &name : cells(menuNames)) {
        const auto *menu = window->findChild<QWidget *>(name);
        if (!menu)
            texts.append(QStringLiteral("<no menu %1>").arg(name));
        for (const QAction *action : menu ? menu->actions() : QList<QAction *>{}) {
            if (action->isSeparator())
                texts.append(QStringLiteral("<separator>"));
            else if (action->shortcut().isEmpty())
                texts.append(action->text());
            else
                texts.append(action->text() + QStringLiteral(" [%1]").arg(action->shortcut().toString()));
        }
    }
    return texts;
}

} // namespace kvrtest
