#include "htmlhelp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "actionid.h"
#include "userprompts.h"
#include "workspace.h"

void HtmlHelp::installActions(Workspace &workspace, DocumentOpener opener)
{
    Workspace *ws = &workspace;
    workspace.actions().setHandler(ActionId::RunHTMLHelp,
                                   [ws, opener = std::move(opener)] { runHtmlHelp(*ws, opener, helpFilePath()); });
}

QString HtmlHelp::helpFilePath()
{
    return helpFilePathIn(QCoreApplication::applicationDirPath());
}

QString HtmlHelp::helpFilePathIn(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString beside = folder.filePath(QStringLiteral("readme.html"));
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = QDir::cleanPath(folder.filePath(QStringLiteral("../share/ordix/readme.html")));
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}

void HtmlHelp::runHtmlHelp(Workspace &workspace, const DocumentOpener &opener, const QString &path)
{
    UserPrompts &prompts = workspace.prompts();
    if (!QFileInfo(path).isFile()) {
        prompts.message(QStringLiteral("Файл помощи не найден."), UserPrompts::Icon::Warning, QStringLiteral("Ошибка"));
        return;
    }
    if (!opener || !opener(path))
        prompts.message(QStringLiteral("Невозможно открыть файл помощи."), UserPrompts::Icon::Error,
                        QStringLiteral("Ошибка"));
}
