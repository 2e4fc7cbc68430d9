#pragma once

#include <functional>

#include <QString>

class Workspace;

// RunHTMLHelp: opens the help document "readme.html" beside the program's
// executable with the desktop's viewer.
class HtmlHelp final
{
public:
    // Opens a local file with its associated viewer; true on success.
    using DocumentOpener = std::function<bool(const QString &path)>;

    // Sets the handler of RunHTMLHelp.
    static void installActions(Workspace &workspace, DocumentOpener opener);

    // The executable's folder followed by "readme.html".
    static QString helpFilePath();

    // RunHTMLHelpExecute on the given document: "Файл помощи не найден." when
    // it does not exist, "Невозможно открыть файл помощи." when the viewer
    // cannot open it.
    static void runHtmlHelp(Workspace &workspace, const DocumentOpener &opener, const QString &path);
};
