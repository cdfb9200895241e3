#include "statusarea.h"

#include "statustexts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QPaintEvent>

namespace {

// Marks a line that shows only the headline: the rest is in the tool tip.
const QString more = QStringLiteral("…");

// The line: the whole message where it fits its width, otherwise the headline. Presented to
// assistive technology as a notification (a role Orca speaks when such an object appears, also
// inside a status bar), named and described by the whole text.
class StatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

    void setMessage(const QString &text, const QString &messageHeadline)
    {
        whole = text;
        headline = messageHeadline;
        fit();
        setToolTip(text);
        setAccessibleName(text);
        setAccessibleDescription(text);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit()
    {
        const int width = contentsRect().width();
        if (fontMetrics().horizontalAdvance(whole) <= width)
            setText(whole);
        else if (!headline.isEmpty())
            setText(headline.endsWith(more) ? headline : headline + more);
        else
            setText(fontMetrics().elidedText(whole, Qt::ElideRight, width));
    }

    QString whole;
    QString headline;
};

QAccessibleInterface *statusLineAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("StatusLine") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}

} // namespace

StatusArea::StatusArea(QWidget *parent) : QStatusBar(parent), label(new StatusLine(this))
{
    static const bool factoryInstalled = (QAccessible::installFactory(statusLineAccessible), true);
    Q_UNUSED(factoryInstalled)
    label->setObjectName(QStringLiteral("statusMessage"));
    // A permanent widget stays in view while a message is shown: the bar itself paints nothing,
    // the label shows the message.
    addPermanentWidget(label, 1);
    // The window cannot be resized: a grip would only take room from the message.
    setSizeGripEnabled(false);
    connect(this, &QStatusBar::messageChanged, this, &StatusArea::present);
}

void StatusArea::showStatus(const QString &text, const QString &headline)
{
    pendingHeadline = headline;
    // The same problem again (a second refresh that cannot search either) is news too, but
    // QStatusBar only reports a changed text.
    if (text == currentMessage())
        present(text);
    else
        showMessage(text);
    pendingHeadline.clear();
}

void StatusArea::showStatus(const StatusMessage &message)
{
    showStatus(message.text, message.headline);
}

void StatusArea::present(const QString &text)
{
    static_cast<StatusLine *>(label)->setMessage(text, pendingHeadline);
    if (text.isEmpty())
        return;
    // Qt 6.4 has no announcement call: a notification that appears is what Orca speaks.
    QAccessibleEvent appeared(label, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&appeared);
}

void StatusArea::paintEvent(QPaintEvent *event)
{
    // QStatusBar would paint the message text itself, under the label.
    event->accept();
}

#include "statusarea.moc"
