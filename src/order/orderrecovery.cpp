#include "orderrecovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "gridposition.h"
#include "orderhistory.h"
#include "ordertable.h"
#include "ordixerror.h"
#include "textfile.h"
#include "unfilteredprice.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QByteArray Magic = QByteArrayLiteral("ORDIX-RECOVERY 1");

    QString clean(QString text)
    {
        for (QChar &ch : text) {
            if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                ch = QLatin1Char(' ');
        }
        return text;
    }

    QString numberText(double value)
    {
        return QString::number(value, 'g', 17);
    }
}

OrderRecovery::OrderRecovery(Workspace &workspace, const QString &path)
    : QObject(&workspace)
    , m_workspace(workspace)
    , m_path(path)
{
    setObjectName(QStringLiteral("OrderRecovery"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(DelayMs);
    connect(&m_timer, &QTimer::timeout, this, &OrderRecovery::write);
    RecordTable &order = workspace.order();
    order.onViewChanged([this] { schedule(); });
    order.onRowChanged([this](int) { schedule(); });
    connect(&OrderHistory::of(workspace), &OrderHistory::changed, this, &OrderRecovery::schedule);
}

QString OrderRecovery::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery/order.txt");
}

OrderRecovery &OrderRecovery::enable(Workspace &workspace, const QString &path)
{
    if (OrderRecovery *existing = find(workspace))
        return *existing;
    return *new OrderRecovery(workspace, path);
}

OrderRecovery *OrderRecovery::find(Workspace &workspace)
{
    return workspace.findChild<OrderRecovery *>(QString(), Qt::FindDirectChildrenOnly);
}

void OrderRecovery::schedule()
{
    // At most once a second: a change while the timer runs is written when
    // it fires.
    if (!m_timer.isActive())
        m_timer.start();
}

void OrderRecovery::flush()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    write();
}

void OrderRecovery::discard()
{
    m_timer.stop();
    if (QFileInfo::exists(m_path))
        QFile::remove(m_path);
}

OrderRecovery::Saved OrderRecovery::current() const
{
    Saved saved;
    const RecordTable &order = m_workspace.order();
    saved.savedAt = QDateTime::currentDateTime();
    saved.orderFileName = m_workspace.orderFileName;
    saved.total = m_workspace.orderTotal;
    for (int r = 0; r < order.rowCount(); ++r) {
        QVariantList row;
        for (int f = 0; f < OrderTable::FieldCount; ++f) {
            if (order.isNullAt(r, f))
                row.append(QVariant());
            else if (f == OrderTable::Price || f == OrderTable::SUM)
                row.append(order.floatAt(r, f));
            else if (order.field(f).type == FieldType::String)
                row.append(order.stringAt(r, f));
            else
                row.append(order.integerAt(r, f));
        }
        saved.rows.append(row);
    }
    return saved;
}

void OrderRecovery::write()
{
    const RecordTable &order = m_workspace.order();
    if (!order.isActive() || !m_workspace.orderChanged || order.rowCount() == 0) {
        discard();
        return;
    }
    try {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        TextFile::writeBytes(m_path, format(current()));
    } catch (const OrdixError &) {
        // The order itself is untouched; the next change tries again.
    }
}

QByteArray OrderRecovery::format(const Saved &saved)
{
    // UTF-8: the file is the program's own and keeps every character.
    QString text = QString::fromLatin1(Magic) + QStringLiteral("\r\n");
    text += QStringLiteral("saved=") + saved.savedAt.toString(Qt::ISODate) + QStringLiteral("\r\n");
    text += QStringLiteral("file=") + clean(saved.orderFileName) + QStringLiteral("\r\n");
    text += QStringLiteral("total=") + numberText(saved.total) + QStringLiteral("\r\n");
    for (const QVariantList &row : saved.rows) {
        QStringList fields;
        for (int f = 0; f < OrderTable::FieldCount && f < row.size(); ++f) {
            const QVariant &value = row.at(f);
            if (value.isNull())
                fields.append(QString());
            else if (f == OrderTable::Price || f == OrderTable::SUM)
                fields.append(numberText(value.toDouble()));
            else
                fields.append(clean(value.toString()));
        }
        text += fields.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

OrderRecovery::Saved OrderRecovery::read(const QString &path)
{
    const QStringList lines = TextFile::readLines(path);
    const QString bad = QStringLiteral("Файл восстановления заказа %1 повреждён").arg(QDir::toNativeSeparators(path));
    if (lines.size() < 4 || lines.at(0) != QString::fromLatin1(Magic) || !lines.at(1).startsWith(QStringLiteral("saved="))
        || !lines.at(2).startsWith(QStringLiteral("file=")) || !lines.at(3).startsWith(QStringLiteral("total=")))
        throw OrdixError(bad);
    Saved saved;
    saved.savedAt = QDateTime::fromString(lines.at(1).mid(6), Qt::ISODate);
    saved.orderFileName = lines.at(2).mid(5);
    bool ok = false;
    saved.total = lines.at(3).mid(6).toDouble(&ok);
    if (!ok || !saved.savedAt.isValid())
        throw OrdixError(bad);
    const QList<FieldDef> defs = OrderTable::fields();
    for (qsizetype i = 4; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        if (fields.size() != OrderTable::FieldCount)
            throw OrdixError(bad);
        QVariantList row;
        for (int f = 0; f < OrderTable::FieldCount; ++f) {
            const QString &text = fields.at(f);
            if (defs.at(f).type == FieldType::String) {
                row.append(text);
                continue;
            }
            if (text.isEmpty()) {
                row.append(QVariant());
                continue;
            }
            if (defs.at(f).type == FieldType::R8) {
                const double value = text.toDouble(&ok);
                if (!ok)
                    throw OrdixError(bad);
                row.append(value);
            } else {
                const qint64 value = text.toLongLong(&ok);
                if (!ok)
                    throw OrdixError(bad);
                row.append(value);
            }
        }
        saved.rows.append(row);
    }
    return saved;
}

QString OrderRecovery::question(const QDateTime &savedAt, int lines)
{
    return QStringLiteral("Восстановить несохранённый заказ от %1 (%2 строк)?")
        .arg(TextFile::dateTimeText(savedAt))
        .arg(lines);
}

bool OrderRecovery::offer()
{
    m_timer.stop();
    if (!QFileInfo::exists(m_path))
        return false;
    Saved saved;
    try {
        saved = read(m_path);
    } catch (const OrdixError &error) {
        discard();
        m_workspace.prompts().message(error.message(), UserPrompts::Icon::Warning);
        return false;
    }
    if (saved.rows.isEmpty()) {
        discard();
        return false;
    }
    if (m_workspace.prompts().askYesNo(question(saved.savedAt, int(saved.rows.size()))) != UserPrompts::Answer::Yes) {
        discard();
        return false;
    }
    // The current order (normally none at start) is closed the usual way.
    if (m_workspace.orderOpen()) {
        m_workspace.execute(QStringLiteral("OrderClose"));
        if (m_workspace.orderOpen())
            return false;
    }

    OrderTable::startNew(m_workspace);
    RecordTable &order = m_workspace.order();
    {
        const GridFreeze freeze(m_workspace, Workspace::Grid::Order);
        for (const QVariantList &row : std::as_const(saved.rows))
            order.appendRow(row);
    }
    for (int r = 0; r < order.rowCount(); ++r)
        OrderTable::notePosted(m_workspace, r);
    order.first();

    // The parts of the order that the loaded price list has carry the mark.
    RecordTable &price = m_workspace.price();
    const int flagField = price.isActive() ? price.findField(QStringLiteral("AvailabilityFlag")) : -1;
    if (flagField >= 0) {
        const GridFreeze freeze(m_workspace, Workspace::Grid::Price);
        const UnfilteredPrice unfiltered(price);
        for (const QVariantList &row : std::as_const(saved.rows)) {
            if (row.at(OrderTable::Code).isNull() || !price.locate(QStringLiteral("Code"), row.at(OrderTable::Code)))
                continue;
            const qint64 flag = price.asInteger(flagField);
            if (flag >= Workspace::InOrderMark)
                continue;
            price.edit();
            try {
                price.setInteger(flagField, flag + Workspace::InOrderMark);
                price.post();
            } catch (...) {
                price.cancel();
                throw;
            }
        }
    }

    m_workspace.orderFileName = saved.orderFileName;
    m_workspace.orderTotal = saved.total;
    m_workspace.orderChanged = true;
    OrderTable::showOrderSum(m_workspace);
    m_workspace.setLabel(Workspace::Label::OrderTitle, saved.orderFileName.isEmpty()
                                                           ? QStringLiteral("Заказ")
                                                           : OrderTable::titleFor(saved.orderFileName));
    // Written again at once under the new time, as a changed order is.
    schedule();
    return true;
}
