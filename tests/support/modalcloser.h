#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kvrtest {

// Closes every modal window that comes up while it lives, as a user would (a message box with its
// OK button, any other dialog with its first push button) and remembers what each one showed.
// Modal windows run their own event loop, so it polls from a timer.
class ModalCloser : public QObject
{
public:
    struct Seen
    {
        QByteArray className;
        QString title;
        QString text; // a message box's text
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
    };

    ModalCloser();

    // Exactly one modal window came up: a warning box with the given title and text, one OK
    // button, and the given parent. Says what it saw instead when not.
    bool sawOneWarning(const QString &title, const QString &text, const QWidget *parent) const;

    QList<Seen> seen;

private:
    void closeActiveModal();

    QTimer poll;
};

} // namespace kvrtest
