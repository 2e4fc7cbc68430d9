#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantList>

class RecordTable;
class Workspace;

// The undo history of the order's edits: adding a part, changing a quantity,
// removing a line, a coordination and a quick order from the clipboard are
// each one step. A step keeps the order as it was before and after (its
// lines, total, changed state, the lines missing from the price list and
// which of its parts carry the in-order mark in the price list), so undoing
// and redoing put all of that back. Starting, opening or closing an order
// clears the history. It names the window's "Отменить"/"Повторить" commands
// after the step they would undo or redo.
class OrderHistory final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderHistory)

public:
    // The most steps kept; older ones are forgotten.
    static constexpr int Limit = 100;

    // The order's lines field by field: numbers as they are stored, texts
    // as their stored bytes in one buffer per field. Copies share the data.
    class Lines final
    {
    public:
        qsizetype size() const { return m_data ? m_data->rows : 0; }
        bool isEmpty() const { return size() == 0; }
        bool operator==(const Lines &other) const;

        static Lines of(const RecordTable &order);
        // Appends the lines to the (empty) order.
        void appendTo(RecordTable &order) const;
        // The codes of the lines that have one.
        std::vector<qint64> codes(int codeField) const;

    private:
        struct Field
        {
            bool text = false;
            std::vector<double> numbers;
            QByteArray bytes;
            std::vector<uint32_t> ends; // end of each line's text in `bytes`
            std::vector<bool> unset;
            bool operator==(const Field &other) const = default;
        };
        struct Data
        {
            qsizetype rows = 0;
            std::vector<Field> fields;
        };
        std::shared_ptr<const Data> m_data;
    };

    struct Snapshot
    {
        bool open = false;
        Lines rows;
        double total = 0;
        bool changed = false;
        QSet<qint64> missing;   // codes flagged as missing from the price list
        bool marks = false;     // the price list's in-order marks were taken
        QSet<qint64> unmarked;  // codes of lines whose part carries no mark (or is not in the list)
        QSet<qint64> uncounted; // codes of the lines kept out of the total
        int rowNumber = 0;

        // The same lines, total and changed state.
        bool sameOrder(const Snapshot &other) const;
    };

    // Made and owned by the workspace's order document.
    explicit OrderHistory(Workspace &workspace);
    // The workspace's history.
    static OrderHistory &of(Workspace &workspace);

    // Runs the step; when it changed the order, keeps it as one step named by
    // `caption` (called with the order before and after the step). A step
    // run inside another one belongs to the outer step.
    using Caption = std::function<QString(const Snapshot &before, const Snapshot &after)>;
    void record(const Caption &caption, const std::function<void()> &step);
    void record(const QString &caption, const std::function<void()> &step);
    // The same for a step that is all or nothing: when it throws, the order
    // is put back as it was before it and no step is kept.
    void recordWhole(const QString &caption, const std::function<void()> &step);

    // Told by a step while it is recorded, when the only marks it changed
    // are those of the lines it added and each of these now carries the
    // in-order mark: the marks after it are taken from those before, without
    // looking the order's codes up in the price list again. Told by a step
    // run inside another one, it is not heard.
    void noteOnlyAddedLinesMarked();

    bool canUndo() const { return m_done > 0; }
    bool canRedo() const { return m_done < m_steps.size(); }
    // "добавление «Болт М8»": the step the next undo or redo concerns.
    QString undoCaption() const;
    QString redoCaption() const;
    int count() const { return int(m_steps.size()); }

    void undo();
    void redo();
    // Forgets every step (a new, opened or closed order).
    void clear();

    // The order's state now; its marks as in `marksOf` when given.
    Snapshot take(const Snapshot *marksOf = nullptr) const;

signals:
    // After every recorded step, undo, redo and clearing.
    void changed();

private:
    void restore(const Snapshot &snapshot);
    void updateCaptions();

    struct Step
    {
        QString caption;
        Snapshot before;
        Snapshot after;
    };

    Workspace &m_workspace;
    QList<Step> m_steps;
    qsizetype m_done = 0; // steps [0, m_done) are done
    bool m_recording = false;
    bool m_restoring = false;
    bool m_whole = false;      // the step being recorded is all or nothing
    bool m_nested = false;     // a step ran inside the one being recorded
    bool m_marksNoted = false; // see noteOnlyAddedLinesMarked()
};
