#pragma once

#include <QStatusBar>

class QLabel;
struct StatusMessage;

// The main window's status bar. The window has a fixed width and the status bar one line, while
// a message may name a device, its MAC, three addresses and what to do: the line shows the whole
// text where it fits, otherwise the message's headline and "…". The tool tip and the accessible
// description always hold the whole text, and each new message is presented to screen readers as
// a notification, which they speak as it appears.
class StatusArea : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusArea(QWidget *parent = nullptr);

    // Shows the message; `headline` is what the line shows when the whole text does not fit.
    // Without one, the line shows as much of the text as fits. showMessage() is the same call
    // without a headline.
    void showStatus(const QString &text, const QString &headline = {});
    void showStatus(const StatusMessage &message);

    // The label that shows the line and is announced.
    QLabel *messageLabel() const { return label; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void present(const QString &text);

    QLabel *label;
    QString pendingHeadline; // of the message being shown by showStatus()
};
