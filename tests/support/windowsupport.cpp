#include "windowsupport.h"

#include "detail/subplcinfo.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

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

QStringList rowTexts(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < table->columnCount(); ++column)
            texts.append(table->item(row, column) ? table->item(row, column)->text() : QStringLiteral("<none>"));
        rows.append(texts.join(u'|'));
    }
    return rows;
}

bool use(QWidget *window, const char *buttonOrAction)
{
    if (auto *button = window->findChild<QPushButton *>(QLatin1String(buttonOrAction)))
        button->click();
    else if (auto *action = window->findChild<QAction *>(QLatin1String(buttonOrAction)))
        action->trigger();
    else
        return false;
    return true;
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

namespace {
QStringList notifications;

void recordEvent(QAccessibleEvent *event)
{
    QAccessibleInterface *access = event->accessibleInterface();
    if (event->type() == QAccessible::ObjectShow && access && access->role() == QAccessible::Notification)
        notifications.append(access->text(QAccessible::Name));
}

QPlatformAccessibility *platformAccessibility()
{
    QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration();
    return integration ? integration->accessibility() : nullptr;
}
} // namespace

AccessibilityEvents::AccessibilityEvents()
{
    notifications.clear();
    QAccessible::installUpdateHandler(recordEvent);
    if (QPlatformAccessibility *accessibility = platformAccessibility())
        accessibility->setActive(true);
}

AccessibilityEvents::~AccessibilityEvents()
{
    if (QPlatformAccessibility *accessibility = platformAccessibility())
        accessibility->setActive(false);
    QAccessible::installUpdateHandler(nullptr);
}

QStringList AccessibilityEvents::notificationsShown() const
{
    return notifications;
}

} // namespace kvrtest
