#include "orderfile.h"

#include <QDir>
#include <QFileInfo>

#include "actionid.h"
#include "actionlist.h"
#include "gridposition.h"
#include "orderfileguard.h"
#include "orderreader.h"
#include "orderrecovery.h"
#include "ordertable.h"
#include "orderwriter.h"
#include "safefilename.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QString SaveAction = ActionId::OrderFileSave;

    UserPrompts::FileDialog orderDialog(const QString &title, const QString &fileName)
    {
        UserPrompts::FileDialog dialog;
        dialog.title = title;
        dialog.filter = QStringLiteral("Файл заказа (*.txt)|*.txt");
        dialog.defaultExtension = QStringLiteral("txt");
        dialog.fileName = fileName;
        dialog.overwritePrompt = true;
        return dialog;
    }
}

QString OrderFile::changedOnDiskQuestion(const QString &path)
{
    return QStringLiteral("Файл заказа изменён другой программой после того, как он был открыт или сохранён "
                          "в этом окне:\n%1\n\nЗаменить его этим заказом? «Да» — заменить, "
                          "«Нет» — сохранить под другим именем, «Отмена» — не сохранять.")
        .arg(QDir::toNativeSeparators(path));
}

QString OrderFile::openElsewhereQuestion(const QString &path)
{
    return QStringLiteral("Файл заказа %1 уже открыт в другом окне программы.\n\nОткрыть его только для чтения? "
                          "«Да» — только для чтения (сохранить можно под другим именем), «Нет» — открыть всё равно, "
                          "«Отмена» — не открывать.")
        .arg(QDir::toNativeSeparators(path));
}

QString OrderFile::writeProtectedQuestion(const QString &path)
{
    return QStringLiteral("Файл заказа %1 защищён от записи (только для чтения) и не будет заменён.\n\n"
                          "Сохранить заказ под другим именем?")
        .arg(QDir::toNativeSeparators(path));
}

bool OrderFile::isWriteProtected(const QString &path)
{
    const QFileInfo info(path);
    // The owner's write mark as well: even a user who may write anything
    // (an administrator) does not replace a file marked read-only unasked.
    return info.isFile() && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner));
}

QString OrderFile::proposedName(const QString &customer, const QDate &date, const QString &folder)
{
    const QString tail = MakeSafeFileName(QLatin1Char(' ') + TextFile::shortDate(date) + QStringLiteral(".txt"));
    QString head = MakeSafeFileName(QStringLiteral("order ") + customer);
    // A file name holds at most 255 bytes (UTF-8 on Linux) or 255 UTF-16
    // units (Windows); a long legal name is cut, the date and the extension
    // stay, and " (999)" of unusedName() and the lock beside the file still
    // fit (".~lock.<name>#", and ".rmlock" after it while a lock left by a
    // killed program is taken over).
    constexpr qsizetype Reserve = 6 + 15;
    constexpr qsizetype Limit = 255 - Reserve;
#ifdef Q_OS_WIN
    // Most Windows programs (Explorer, mail attachments, the file dialogs)
    // take a whole path of at most 259 characters: the folder's share of it
    // is not the name's.
    const QString where =
        QDir::toNativeSeparators(folder.isEmpty() ? QDir::currentPath() : QDir(folder).absolutePath());
    const qsizetype room = qMin(Limit, 259 - Reserve - where.size() - (where.endsWith(QLatin1Char('\\')) ? 0 : 1));
    const auto fits = [&tail, room](const QString &text) { return text.size() + tail.size() <= room; };
#else
    Q_UNUSED(folder);
    const auto fits = [&tail](const QString &text) { return QFile::encodeName(text + tail).size() <= Limit; };
#endif
    if (!fits(head)) {
        while (!head.isEmpty() && !fits(head))
            head.chop(head.size() >= 2 && head.back().isLowSurrogate() ? 2 : 1);
        while (head.endsWith(QLatin1Char(' ')))
            head.chop(1);
    }
    return head + tail;
}

QString OrderFile::unusedName(const QString &name)
{
    const QFileInfo info(name);
    if (!info.exists())
        return name;
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString base = name.left(name.size() - suffix.size());
    for (int n = 2; n < 1000; ++n) {
        const QString candidate = base + QStringLiteral(" (%1)").arg(n) + suffix;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return name;
}

void OrderFile::save(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    actions.setTag(SaveAction, 0);

    OrderFileGuard &guard = OrderFileGuard::of(workspace);
    QString target = workspace.document().fileName();
    bool askName = target.isEmpty();
    QString proposed = askName ? unusedName(proposedName(workspace.settings().customer, QDate::currentDate())) : target;
    if (!askName && guard.isReadOnly()
        && guard.path() == QFileInfo(workspace.document().fileName()).absoluteFilePath()) {
        // Opened read-only: the order goes to a file of its own.
        askName = true;
    } else if (!askName && guard.changedOnDisk(workspace.document().fileName())) {
        // Nothing is written over what another program saved without a word.
        const UserPrompts::Answer answer =
            workspace.prompts().askYesNoCancel(changedOnDiskQuestion(workspace.document().fileName()));
        if (answer == UserPrompts::Answer::No)
            askName = true;
        else if (answer != UserPrompts::Answer::Yes)
            return;
    }
    for (;;) {
        if (askName) {
            target = workspace.prompts().saveFile(orderDialog(QStringLiteral("Сохранить файл заказа"), proposed));
            if (target.isEmpty())
                return;
        }
        if (!isWriteProtected(target))
            break;
        // A file marked read-only is never replaced: the order may go
        // under another name.
        if (workspace.prompts().askYesNo(writeProtectedQuestion(target)) != UserPrompts::Answer::Yes)
            return;
        askName = true;
        proposed = unusedName(target);
    }

    QStringList lines;
    OrderWriter::write(workspace, lines, OrderWriter::Form::File);
    // Replaces the file in one step: a failed write throws and leaves the
    // old file whole and the order in its changed state. The name is the
    // order's only once it holds the order, so after a failed first save
    // the next one asks for a name again.
    TextFile::writeLines(target, lines);

    workspace.document().setFileName(target);
    workspace.document().setModified(false);
    guard.take(workspace.document().fileName());
    if (OrderRecovery *recovery = OrderRecovery::find(workspace))
        recovery->discard();
    actions.setTag(SaveAction, ActionList::ActionDone);
    workspace.setLabel(Workspace::Label::OrderTitle, OrderTable::titleFor(workspace.document().fileName()));
    workspace.setLabel(Workspace::Label::Status,
                       QStringLiteral("Заказ сохранён: ") + QDir::toNativeSeparators(workspace.document().fileName()));
}

void OrderFile::saveAs(Workspace &workspace)
{
    const QString remembered = workspace.document().fileName();
    workspace.document().setFileName(QString());
    try {
        workspace.execute(SaveAction);
    } catch (...) {
        if (workspace.document().fileName().isEmpty())
            workspace.document().setFileName(remembered);
        throw;
    }
    if (workspace.document().fileName().isEmpty())
        workspace.document().setFileName(remembered);
}

QString OrderFile::askFileToOpen(Workspace &workspace)
{
    UserPrompts::FileDialog dialog = orderDialog(QStringLiteral("Открыть файл заказа"), QString());
    dialog.overwritePrompt = false;
    return workspace.prompts().openFile(dialog);
}

QString OrderFile::loadedText(int skipped)
{
    QString status = QStringLiteral("Заказ загружен");
    if (skipped > 0)
        status += QStringLiteral(". Пропущено строк с ошибками: %1").arg(skipped);
    return status;
}

int OrderFile::read(Workspace &workspace, const QString &path)
{
    // Read first: a file that cannot be read leaves no order pointing at it.
    const QStringList lines = TextFile::readLines(path);
    int skipped = 0;
    const QList<OrderReader::Item> items = OrderReader::parse(lines, workspace.settings().priceSeparator, &skipped);

    OrderTable::startNew(workspace);
    workspace.document().setFileName(path);
    RecordTable &table = workspace.order();
    {
        const GridFreeze freeze(workspace, Workspace::Grid::Order);
        skipped += int(items.size()) - OrderReader::append(workspace, items);
    }
    workspace.document().setModified(false);
    OrderFileGuard::of(workspace).take(path);
    table.first();
    workspace.document().recount();
    OrderTable::showOrderSum(workspace);
    workspace.setLabel(Workspace::Label::OrderTitle, OrderTable::titleFor(path));
    workspace.setLabel(Workspace::Label::Status, loadedText(skipped));
    return skipped;
}
