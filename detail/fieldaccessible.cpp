#include "fieldaccessible.h"

#include "subplcinfo.h"

#include <QLineEdit>

namespace DetailAccessible {

namespace {

QAccessibleInterface *detailInterfaces(const QString &className, QObject *object)
{
    if (className == QLatin1String("SubPlcInfo"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("QLineEdit")) {
        auto *field = static_cast<QLineEdit *>(object);
        if (field->isReadOnly() && qobject_cast<SubPlcInfo *>(field->parent()))
            return new ReadOnlyField(field);
    }
    return nullptr;
}

} // namespace

void install()
{
    static const bool installed = (QAccessible::installFactory(detailInterfaces), true);
    Q_UNUSED(installed)
}

ReadOnlyField::ReadOnlyField(QLineEdit *field) : QAccessibleWidget(field, QAccessible::EditableText) {}

QLineEdit *ReadOnlyField::field() const
{
    return static_cast<QLineEdit *>(widget());
}

QAccessible::State ReadOnlyField::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.editable = false;
    state.selectableText = true;
    return state;
}

QString ReadOnlyField::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return field()->text();
    return QAccessibleWidget::text(t);
}

void *ReadOnlyField::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void ReadOnlyField::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !field()->hasSelectedText())
        return;
    *startOffset = field()->selectionStart();
    *endOffset = field()->selectionEnd();
}

int ReadOnlyField::selectionCount() const
{
    return field()->hasSelectedText() ? 1 : 0;
}

void ReadOnlyField::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void ReadOnlyField::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        field()->deselect();
}

void ReadOnlyField::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        field()->setSelection(startOffset, endOffset - startOffset);
}

int ReadOnlyField::cursorPosition() const
{
    return field()->cursorPosition();
}

void ReadOnlyField::setCursorPosition(int position)
{
    field()->setCursorPosition(position);
}

QString ReadOnlyField::text(int startOffset, int endOffset) const
{
    if (startOffset < 0 || endOffset < startOffset)
        return {};
    return field()->text().mid(startOffset, endOffset - startOffset);
}

int ReadOnlyField::characterCount() const
{
    return int(field()->text().size());
}

// Where a character is drawn, on the screen. The field shows its text from the start (the window
// keeps the caret there), so a character's place follows from the text before it.
QRect ReadOnlyField::characterRect(int offset) const
{
    const QString text = field()->text();
    if (offset < 0 || offset >= text.size())
        return {};
    const QFontMetrics metrics = field()->fontMetrics();
    const QMargins margins = field()->textMargins();
    const QRect area = field()->contentsRect().marginsRemoved(margins);
    const int x = area.left() + metrics.horizontalAdvance(text.left(offset));
    const QRect local(x, area.top() + (area.height() - metrics.height()) / 2,
                      metrics.horizontalAdvance(text.at(offset)), metrics.height());
    return QRect(field()->mapToGlobal(local.topLeft()), local.size());
}

int ReadOnlyField::offsetAtPoint(const QPoint &point) const
{
    return field()->cursorPositionAt(field()->mapFromGlobal(point));
}

void ReadOnlyField::scrollToSubstring(int startIndex, int endIndex)
{
    field()->setCursorPosition(endIndex);
    field()->setCursorPosition(startIndex);
}

// One run without attributes over the whole text. (Qt's own line edit reports an empty run at
// each offset.)
QString ReadOnlyField::attributes(int offset, int *startOffset, int *endOffset) const
{
    Q_UNUSED(offset)
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

} // namespace DetailAccessible
