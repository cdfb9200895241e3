#include "fieldaccessible.h"

#include "subplcinfo.h"

#include <QLineEdit>

namespace DetailAccessible {

namespace {

QAccessibleInterface *detailInterfaces(const QString &className, QObject *object)
{
    if (className == QLatin1String("SubPlcInfo"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("QLineEdit") && qobject_cast<SubPlcInfo *>(object->parent()))
        return new Field(static_cast<QLineEdit *>(object));
    return nullptr;
}

} // namespace

void install()
{
    static const bool installed = (QAccessible::installFactory(detailInterfaces), true);
    Q_UNUSED(installed)
}

Field::Field(QLineEdit *field) : QAccessibleWidget(field, QAccessible::EditableText) {}

QLineEdit *Field::field() const
{
    return static_cast<QLineEdit *>(widget());
}

QAccessible::State Field::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = field()->isReadOnly();
    state.editable = !field()->isReadOnly();
    state.selectableText = true;
    return state;
}

QString Field::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return field()->text();
    return QAccessibleWidget::text(t);
}

void Field::setText(QAccessible::Text t, const QString &text)
{
    if (t == QAccessible::Value && !field()->isReadOnly())
        field()->setText(text);
}

void *Field::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface && !field()->isReadOnly())
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void Field::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !field()->hasSelectedText())
        return;
    *startOffset = field()->selectionStart();
    *endOffset = field()->selectionEnd();
}

int Field::selectionCount() const
{
    return field()->hasSelectedText() ? 1 : 0;
}

void Field::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void Field::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        field()->deselect();
}

void Field::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        field()->setSelection(startOffset, endOffset - startOffset);
}

int Field::cursorPosition() const
{
    return field()->cursorPosition();
}

void Field::setCursorPosition(int position)
{
    field()->setCursorPosition(position);
}

QString Field::text(int startOffset, int endOffset) const
{
    if (startOffset < 0 || endOffset < startOffset)
        return {};
    return field()->text().mid(startOffset, endOffset - startOffset);
}

int Field::characterCount() const
{
    return int(field()->text().size());
}

// Where a character is drawn, on the screen, as far as the text before it says: exact while the
// field shows its text from the start, which the window keeps for the read-only fields.
QRect Field::characterRect(int offset) const
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

int Field::offsetAtPoint(const QPoint &point) const
{
    return field()->cursorPositionAt(field()->mapFromGlobal(point));
}

void Field::scrollToSubstring(int startIndex, int endIndex)
{
    field()->setCursorPosition(endIndex);
    field()->setCursorPosition(startIndex);
}

// One run without attributes over the whole text.
QString Field::attributes(int offset, int *startOffset, int *endOffset) const
{
    Q_UNUSED(offset)
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

void Field::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void Field::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void Field::replaceText(int startOffset, int endOffset, const QString &text)
{
    const QString shown = field()->text();
    if (field()->isReadOnly() || startOffset < 0 || endOffset < startOffset || endOffset > shown.size())
        return;
    field()->setText(QString(shown).replace(startOffset, endOffset - startOffset, text));
}

} // namespace DetailAccessible
