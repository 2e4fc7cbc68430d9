#include "cliprompts.h"

#include "clilayout.h"
#include "ordixerror.h"
#include "supplierlist.h"

void CliPrompts::expectSaveFile(const QString &path)
{
    m_savePath = path;
    m_saveExpected = true;
    m_saveAsked = false;
}

void CliPrompts::refuse(const QString &what)
{
    throw OrdixError(QStringLiteral("unexpected question from the program: ") + what);
}

UserPrompts::Answer CliPrompts::askYesNo(const QString &text)
{
    refuse(text);
}

UserPrompts::Answer CliPrompts::askYesNoCancel(const QString &text)
{
    refuse(text);
}

void CliPrompts::message(const QString &text, Icon, const QString &title)
{
    throw OrdixError(title.isEmpty() ? text : title + QStringLiteral(": ") + text);
}

UserPrompts::Answer CliPrompts::askRetryCancel(const QString &title, const QString &text)
{
    refuse(title + QStringLiteral(": ") + text);
}

QString CliPrompts::openFile(const FileDialog &dialog)
{
    refuse(dialog.title);
}

QString CliPrompts::saveFile(const FileDialog &dialog)
{
    if (!m_saveExpected)
        refuse(dialog.title);
    m_saveExpected = false;
    m_saveAsked = true;
    return m_savePath;
}

bool CliPrompts::askQuantity(const QuantityRequest &request, int *)
{
    refuse(QStringLiteral("Добавить в заказ: ") + request.partName);
}

bool CliPrompts::confirmPriceLayout(PriceLayoutQuestion &question)
{
    const auto ignore = [](const QString &) {};
    return CliLayout::answer(question, m_note ? m_note : ignore, m_report ? m_report : ignore);
}
