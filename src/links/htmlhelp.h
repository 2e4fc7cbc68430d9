#pragma once

#include <functional>

#include <QString>

class Workspace;

// RunHTMLHelp: opens the help document "readme.html" with the desktop's
// viewer. The document lies beside the program's executable (the build, a
// copied folder) or, for an installed program, in ../share/ordix relative to
// the executable's folder.
class HtmlHelp final
{
public:
    // Opens a local file with its associated viewer; true on success.
    using DocumentOpener = std::function<bool(const QString &path)>;

    // Sets the handler of RunHTMLHelp.
    static void installActions(Workspace &workspace, DocumentOpener opener);

    // The help document of the running program (see helpFilePathIn).
    static QString helpFilePath();
    // The help document for an executable in `programFolder`: "readme.html"
    // beside it when that exists, else "../share/ordix/readme.html" when that
    // exists, else the name beside it (which then is reported missing).
    static QString helpFilePathIn(const QString &programFolder);

    // RunHTMLHelpExecute on the given document: "Файл помощи не найден." when
    // it does not exist, "Невозможно открыть файл помощи." when the viewer
    // cannot open it.
    static void runHtmlHelp(Workspace &workspace, const DocumentOpener &opener, const QString &path);
};
