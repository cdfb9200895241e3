#pragma once

#include <QAccessibleWidget>

class QLineEdit;

// How assistive technology sees the detail window. A plain top-level QWidget shows as a "filler"
// named only by its title; the window is a frame named after the device it shows (its accessible
// name). A read-only QLineEdit still offers the editable-text interface, so screen readers call it
// editable and read-only at once and may write to it: a read-only field here offers text, caret
// and selection only.
namespace DetailAccessible {

// Installs the interfaces for the detail window and its read-only fields; once per process.
void install();

// A read-only line edit as a read-only text: its text, caret and selection, nothing to edit.
class ReadOnlyField : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReadOnlyField(QLineEdit *field);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QLineEdit *field() const;
};

} // namespace DetailAccessible
