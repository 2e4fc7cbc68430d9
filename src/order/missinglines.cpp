#include "missinglines.h"

#include "workspace.h"

namespace
{
    // The message lists at most this many lines, then how many more.
    constexpr int ListedLines = 30;
}

MissingLines::MissingLines(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("MissingLines"));
}

QString MissingLines::hint()
{
    return QStringLiteral("Нет в текущем прайс-листе");
}

MissingLines &MissingLines::of(Workspace &workspace)
{
    auto *marks = workspace.findChild<MissingLines *>(QString(), Qt::FindDirectChildrenOnly);
    if (!marks)
        marks = new MissingLines(&workspace);
    return *marks;
}

const MissingLines *MissingLines::find(const Workspace &workspace)
{
    return workspace.findChild<MissingLines *>(QString(), Qt::FindDirectChildrenOnly);
}

void MissingLines::setResult(const QSet<qint64> &codes, const QStringList &lines, int found)
{
    m_codes = codes;
    m_lines = lines;
    m_found = found;
    changed();
}

void MissingLines::setCodes(const QSet<qint64> &codes)
{
    if (m_codes == codes)
        return;
    m_codes = codes;
    changed();
}

void MissingLines::clear()
{
    m_lines.clear();
    m_found = 0;
    setCodes({});
}

QString MissingLines::statusText() const
{
    return QStringLiteral("Согласовано: %1 строк, не найдено в прайс-листе: %2").arg(m_found).arg(m_lines.size());
}

QString MissingLines::messageText() const
{
    if (m_lines.isEmpty())
        return QString();
    QString text = QStringLiteral("Строк заказа нет в текущем прайс-листе: %1\n").arg(m_lines.size());
    for (qsizetype i = 0; i < m_lines.size() && i < ListedLines; ++i)
        text += QLatin1Char('\n') + m_lines.at(i);
    if (m_lines.size() > ListedLines)
        text += QStringLiteral("\n… и ещё %1").arg(m_lines.size() - ListedLines);
    text += QStringLiteral("\n\nЭти строки отмечены в заказе и не вошли в сумму.");
    return text;
}

void MissingLines::changed()
{
    if (auto *workspace = qobject_cast<Workspace *>(parent()))
        workspace->requestRepaint();
}
