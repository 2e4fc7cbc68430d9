#include "scriptedprompts.h"

QStringList ScriptedPrompts::texts(const QString &kind) const
{
    QStringList result;
    for (const Record &record : m_records) {
        if (kind.isEmpty() || record.kind == kind)
            result.append(record.text);
    }
    return result;
}

QStringList ScriptedPrompts::questions() const
{
    QStringList result;
    for (const Record &record : m_records) {
        if (record.kind == QLatin1String("yesno") || record.kind == QLatin1String("yesnocancel"))
            result.append(record.text);
    }
    return result;
}

void ScriptedPrompts::clear()
{
    m_answers.clear();
    m_files.clear();
    m_quantities.clear();
    m_records.clear();
}

UserPrompts::Answer ScriptedPrompts::takeAnswer(Answer fallback)
{
    if (m_whileAsking)
        m_whileAsking();
    return m_answers.isEmpty() ? fallback : m_answers.dequeue();
}

UserPrompts::Answer ScriptedPrompts::askYesNo(const QString &text)
{
    Record record;
    record.kind = QStringLiteral("yesno");
    record.text = text;
    record.icon = Icon::Question;
    m_records.append(record);
    // The dialog has only Yes and No; anything else queued counts as No.
    return takeAnswer(Answer::No) == Answer::Yes ? Answer::Yes : Answer::No;
}

UserPrompts::Answer ScriptedPrompts::askYesNoCancel(const QString &text)
{
    Record record;
    record.kind = QStringLiteral("yesnocancel");
    record.text = text;
    record.icon = Icon::Question;
    m_records.append(record);
    const Answer answer = takeAnswer(Answer::No);
    if (answer == Answer::Yes || answer == Answer::No)
        return answer;
    return Answer::Cancel;
}

void ScriptedPrompts::message(const QString &text, Icon icon, const QString &title)
{
    Record record;
    record.kind = QStringLiteral("message");
    record.text = text;
    record.title = title;
    record.icon = icon;
    m_records.append(record);
}

UserPrompts::Answer ScriptedPrompts::askRetryCancel(const QString &title, const QString &text)
{
    Record record;
    record.kind = QStringLiteral("retrycancel");
    record.text = text;
    record.title = title;
    record.icon = Icon::Warning;
    m_records.append(record);
    return takeAnswer(Answer::Cancel) == Answer::Retry ? Answer::Retry : Answer::Cancel;
}

QString ScriptedPrompts::openFile(const FileDialog &dialog)
{
    Record record;
    record.kind = QStringLiteral("open");
    record.text = dialog.title;
    record.title = dialog.title;
    record.dialog = dialog;
    m_records.append(record);
    return m_files.isEmpty() ? QString() : m_files.dequeue();
}

QString ScriptedPrompts::saveFile(const FileDialog &dialog)
{
    Record record;
    record.kind = QStringLiteral("save");
    record.text = dialog.title;
    record.title = dialog.title;
    record.dialog = dialog;
    m_records.append(record);
    return m_files.isEmpty() ? QString() : m_files.dequeue();
}

bool ScriptedPrompts::askQuantity(const QuantityRequest &request, int *quantity)
{
    Record record;
    record.kind = QStringLiteral("quantity");
    record.text = request.partName;
    record.quantity = request;
    m_records.append(record);
    const int answer = m_quantities.isEmpty() ? -1 : m_quantities.dequeue();
    if (answer < 0)
        return false;
    if (quantity)
        *quantity = answer;
    return true;
}

bool ScriptedPrompts::confirmPriceLayout(PriceLayoutQuestion &question)
{
    Record record;
    record.kind = QStringLiteral("layout");
    m_records.append(record);
    if (m_layoutAnswers.isEmpty())
        return false;
    return m_layoutAnswers.dequeue()(question);
}

UserPrompts::Answer ScriptedPrompts::askYesNoBox(const QString &text, const BoxOptions &options)
{
    const Answer answer = askYesNo(text);
    m_records.last().title = options.title;
    m_records.last().onTop = options.onTop;
    return answer;
}

void ScriptedPrompts::messageBox(const QString &text, Icon icon, const BoxOptions &options)
{
    message(text, icon, options.title);
    m_records.last().onTop = options.onTop;
}
