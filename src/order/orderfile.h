#pragma once

#include <QDate>
#include <QString>

class Workspace;

// Saving the order to its file and reading an order file back.
class OrderFile final
{
public:
    // "order " + customer + " " + the short date + ".txt", made safe for the
    // file system, the customer cut when the name would be too long for it
    // (on Windows, too long for a whole path in `folder`, the current folder
    // when empty).
    static QString proposedName(const QString &customer, const QDate &date, const QString &folder = QString());
    // The name itself when no file has it, else the first free one of
    // "name (2).txt", "name (3).txt"… in its folder: a second order of the
    // day is not proposed the first one's file.
    static QString unusedName(const QString &name);

    // OrderFileSave: asks for a name when the order has none (or was opened
    // read-only), asks first when the file changed on disk, offers another
    // name for a file marked read-only (never replacing it), writes the file
    // (replacing it atomically), and on success puts the order into the saved
    // state, titles it and leaves ActionDone in the action's tag (0 otherwise).
    // A failed write throws, leaving the order changed, its name as it was
    // and any old file whole.
    static void save(Workspace &workspace);
    // OrderFileSaveAs: saves under a name the user chooses; cancelling keeps
    // the previous name.
    static void saveAs(Workspace &workspace);
    // The open dialog of OrderFileOpen; empty when the user cancelled.
    static QString askFileToOpen(Workspace &workspace);
    // Reads the named file into a new order without any question and shows
    // loadedText() in the status line. A file that cannot be read throws
    // before the new order is started. Returns the item lines skipped.
    static int read(Workspace &workspace, const QString &path);
    // "Файл заказа изменён другой программой…": asked before a save over a
    // file that changed on disk since it was opened or saved here (Да
    // overwrites, Нет saves under another name, Отмена does not save).
    static QString changedOnDiskQuestion(const QString &path);
    // Asked before saving over a file marked read-only (Да asks for another
    // name, Нет does not save).
    static QString writeProtectedQuestion(const QString &path);
    static bool isWriteProtected(const QString &path);
    // Asked before opening a file another running window holds (Да opens it
    // read-only, Нет opens it anyway, Отмена does not open it).
    static QString openElsewhereQuestion(const QString &path);
    // "Заказ загружен", with the count of skipped lines when there are any.
    static QString loadedText(int skipped);
};
