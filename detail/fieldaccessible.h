#pragma once

#include <QAccessibleWidget>

class QLineEdit;

// How assistive technology sees the detail window. A plain top-level QWidget shows as a "filler"
// named only by its title; the window is a frame named after the device it shows (its accessible
// name). Qt's own interface for a line edit has two faults here: a read-only field still offers
// editing, so screen readers call it editable and read-only at once and may write to it; and its
// text attributes come as an empty run at each offset, which Orca joins into one run that ends
// before the last character, so it reads "198.18.0.1" for 198.18.0.15. A field here offers
// editing only when it is editable, and reports its text as one run.
namespace DetailAccessible {

// Installs the interfaces for the detail window and its fields; once per process.
void install();

// A line edit of the detail window: its text, caret and selection, and editing where the field
// may be edited.
class Field : public QAccessibleWidget, public QAccessibleTextInterface, public QAccessibleEditableTextInterface
{
public:
    explicit Field(QLineEdit *field);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString &text) override;
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

    // As Qt's line edit does, these set the text directly, past the field's validator.
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    QLineEdit *field() const;
};

} // namespace DetailAccessible
